// The demo's frame rate against the limit of the same GPU work in plain
// WebGL (limit.html), measured side by side in one browser: the two pages
// alternate for a few rounds and the ratio of their frames per second is
// printed, demo/limit. At the page's 640 x 480, and full screen at
// 1920 x 1080 (the canvas filling the window, the picture 4:3 in it).
// Frames are the animation frames each page draws, counted for a few
// seconds once it runs; Chromium is asked not to cap them at 60.
//
//   node web/bench/bench.mjs SITE DUMP_MESH_JS [chromium] [firefox]
//   (DUMP_MESH_JS: build-web/web/dump_mesh.js, for the scene's mesh)
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { cleanUp, launch, serve } from '../test/browser.mjs';

const [site, dumpMesh, ...names] = process.argv.slice(2);
const here = dirname(fileURLToPath(import.meta.url));
const ROUNDS = 3, WARM_UP = 2000, MEASURE = 4000;
const SIZES = [
  // The page's own layout sizes its canvas to the window: both pages get
  // the same box here.
  { name: '640 x 480', viewport: { width: 800, height: 700 },
    style: '#canvas, canvas { width: 640px !important; height: 480px !important; }' },
  { name: 'full screen 1920 x 1080', viewport: { width: 1920, height: 1080 },
    style: 'body { margin: 0; overflow: hidden } canvas { position: fixed; inset: 0; width: 100vw !important; height: 100vh !important; }' },
];

// The limit page's folder: the page, the layer's own shaders (from
// web/gl.cpp), the scene's mesh at 5 s, the bitmaps.
function limitSite() {
  const folder = mkdtempSync(join(tmpdir(), 'vornel-limit-'));
  for (const file of ['limit.html', 'limit.js']) copyFileSync(join(here, file), join(folder, file));
  for (const file of ['organ.bmp', 'veins.bmp']) copyFileSync(join(site, file), join(folder, file));
  const layer = readFileSync(join(here, '..', 'gl.cpp'), 'utf8');
  const shader = name => layer.match(new RegExp(`${name} = R"\\(([\\s\\S]*?)\\)"`))[1];
  writeFileSync(join(folder, 'shaders.json'),
                JSON.stringify({ vertex: shader('VERTEX_SHADER'), fragment: shader('FRAGMENT_SHADER') }));
  execFileSync(process.execPath, ['--no-experimental-fetch', dumpMesh, join(folder, 'mesh.bin'), '5000']);
  return folder;
}

// Frames per second of the page at `address`, once it has run for a while.
async function rate(browser, address, size) {
  const page = (await browser.newPage()).puppeteer;
  await page.setViewport({ ...size.viewport, deviceScaleFactor: 1 });
  await page.evaluateOnNewDocument(() => {
    window.framesDrawn = 0;
    const request = window.requestAnimationFrame.bind(window);
    window.requestAnimationFrame = callback => request(time => { window.framesDrawn++; callback(time); });
  });
  await page.goto(address, { timeout: 120000 });
  if (size.style) await page.addStyleTag({ content: size.style });
  await new Promise(resolve => setTimeout(resolve, WARM_UP));
  const start = await page.evaluate(() => [window.framesDrawn, performance.now()]);
  await new Promise(resolve => setTimeout(resolve, MEASURE));
  const end = await page.evaluate(() => [window.framesDrawn, performance.now(),
                                         document.getElementById('canvas').width,
                                         document.getElementById('canvas').height]);
  await page.close();
  return { fps: (end[0] - start[0]) / ((end[1] - start[1]) / 1000), canvas: `${end[2]} x ${end[3]}` };
}

const folder = limitSite();
try {
  const demo = await serve(site), limit = await serve(folder);
  for (const name of names.length ? names : ['chromium', 'firefox']) {
    const browser = await launch(name, { args: ['--disable-frame-rate-limit'] });
    for (const size of SIZES) {
      let demoSum = 0, limitSum = 0;
      for (let round = 1; round <= ROUNDS; round++) {
        const d = await rate(browser, demo + 'index.html', size);
        const l = await rate(browser, limit + 'limit.html', size);
        demoSum += d.fps;
        limitSum += l.fps;
        console.log(`${name}, ${size.name}, round ${round}: demo ${d.fps.toFixed(1)} fps (canvas ${d.canvas}), ` +
                    `limit ${l.fps.toFixed(1)} fps (canvas ${l.canvas}), demo/limit ${(d.fps / l.fps).toFixed(3)}`);
      }
      console.log(`${name}, ${size.name}: demo/limit ${(demoSum / limitSum).toFixed(3)} over ${ROUNDS} rounds`);
    }
    await browser.close();
  }
} finally {
  await cleanUp();
  rmSync(folder, { recursive: true, force: true });
}
