// The demo's frame rate against the limit of the same GPU work in plain
// WebGL (limit.html), measured side by side in one browser. Each round is
// a pair of turns, the demo's and the limit's, in alternating order, and
// gives one ratio, demo/limit: a load that comes and goes weighs on both
// turns of a pair, and the median of the rounds' ratios keeps the odd
// disturbed pair out. Beside each frame rate, the CPU time the browser's
// processes spent per frame (GPU process and all).
//
// Sizes: the page at an 800 x 700 window, as laid out there (the limit's
// canvas gets the demo's very box, fractions of a pixel included), and
// full screen at 1920 x 1080 (the canvas filling the window, the picture
// 4:3 in it). Chromium is asked not to cap frames at 60.
//
//   node web/bench/bench.mjs SITE DUMP_MESH_JS [ROUNDS] [chromium] [firefox]
//   (DUMP_MESH_JS: build-web/web/dump_mesh.js, for the scene's mesh; 5 rounds)
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { cleanUp, launch, serve } from '../test/browser.mjs';

const [site, dumpMesh, ...rest] = process.argv.slice(2);
const ROUNDS = Number(rest[0]) > 0 ? Number(rest.shift()) : 5;
const names = rest.length ? rest : ['chromium', 'firefox'];
const here = dirname(fileURLToPath(import.meta.url));
const WARM_UP = 2000, MEASURE = 4000;
const FULL_SCREEN = 'body { margin: 0; overflow: hidden } ' +
  'canvas { position: fixed; inset: 0; width: 100vw !important; height: 100vh !important; }';
const SIZES = [
  { name: '800 x 700 window', viewport: { width: 800, height: 700 }, style: null },
  { name: 'full screen 1920 x 1080', viewport: { width: 1920, height: 1080 }, style: FULL_SCREEN },
];
const median = values => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

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

// CPU seconds spent so far by the process `root` and all below it.
function cpuSeconds(root) {
  const processes = readdirSync('/proc').filter(name => /^\d+$/.test(name)).map(pid => {
    try {
      const fields = readFileSync(`/proc/${pid}/stat`, 'utf8').replace(/^.*\) /, '').split(' ');
      return { pid: Number(pid), parent: Number(fields[1]), ticks: Number(fields[11]) + Number(fields[12]) };
    } catch {
      return null;  // ended meanwhile
    }
  }).filter(Boolean);
  const tree = new Set([root]);
  for (let grew = true; grew;) {
    grew = false;
    for (const p of processes)
      if (!tree.has(p.pid) && tree.has(p.parent)) { tree.add(p.pid); grew = true; }
  }
  return processes.filter(p => tree.has(p.pid)).reduce((sum, p) => sum + p.ticks, 0) / 100;
}

// Frames per second and CPU milliseconds per frame of the page at
// `address`, once it has run for a while; `box` places the canvas.
async function turn(browser, address, size, box) {
  const page = (await browser.newPage()).puppeteer;
  await page.setViewport({ ...size.viewport, deviceScaleFactor: 1 });
  await page.evaluateOnNewDocument(() => {
    window.framesDrawn = 0;
    const request = window.requestAnimationFrame.bind(window);
    window.requestAnimationFrame = callback => request(time => { window.framesDrawn++; callback(time); });
  });
  await page.goto(address, { timeout: 120000 });
  if (size.style || box) await page.addStyleTag({ content: size.style || box });
  await new Promise(resolve => setTimeout(resolve, WARM_UP));
  const cpuBefore = cpuSeconds(browser.process().pid);
  const start = await page.evaluate(() => [window.framesDrawn, performance.now()]);
  await new Promise(resolve => setTimeout(resolve, MEASURE));
  const end = await page.evaluate(() => [window.framesDrawn, performance.now()]);
  const cpu = cpuSeconds(browser.process().pid) - cpuBefore;
  const shown = await page.evaluate(() => {
    const canvas = document.querySelector('canvas'), r = canvas.getBoundingClientRect();
    return { backing: `${canvas.width} x ${canvas.height}`, left: r.left, top: r.top, width: r.width, height: r.height };
  });
  await page.close();
  const frames = end[0] - start[0];
  return { fps: frames / ((end[1] - start[1]) / 1000), cpuPerFrame: 1000 * cpu / frames, shown };
}

// The style that gives the limit's canvas the demo's box.
const sameBox = b => `body { margin: 0 } canvas { position: absolute; left: ${b.left}px; top: ${b.top}px; ` +
                     `width: ${b.width}px !important; height: ${b.height}px !important; }`;

const describe = t => `${t.fps.toFixed(1)} fps, ${t.cpuPerFrame.toFixed(1)} ms CPU/frame (canvas ${t.shown.backing})`;

const folder = limitSite();
try {
  const demo = await serve(site), limit = await serve(folder);
  for (const name of names) {
    const browser = await launch(name, { args: ['--disable-frame-rate-limit'], screen: '1920x1080' });
    for (const size of SIZES) {
      const rounds = [];
      for (let round = 1; round <= ROUNDS; round++) {
        let d, l;
        if (round % 2) {
          d = await turn(browser, demo + 'index.html', size);
          l = await turn(browser, limit + 'limit.html', size, sameBox(d.shown));
        } else {
          const box = rounds[rounds.length - 1].demo.shown;
          l = await turn(browser, limit + 'limit.html', size, sameBox(box));
          d = await turn(browser, demo + 'index.html', size);
        }
        rounds.push({ demo: d, limit: l, ratio: d.fps / l.fps });
        console.log(`${name}, ${size.name}, round ${round}: demo ${describe(d)}; limit ${describe(l)}; ` +
                    `demo/limit ${(d.fps / l.fps).toFixed(3)}`);
      }
      const m = key => median(rounds.map(r => r[key].fps)).toFixed(1);
      const c = key => median(rounds.map(r => r[key].cpuPerFrame)).toFixed(1);
      console.log(`${name}, ${size.name}: demo/limit median ${median(rounds.map(r => r.ratio)).toFixed(3)} ` +
                  `of ${ROUNDS} rounds (demo ${m('demo')} fps, ${c('demo')} ms CPU/frame; ` +
                  `limit ${m('limit')} fps, ${c('limit')} ms CPU/frame)`);
    }
    await browser.close();
  }
} finally {
  await cleanUp();
  rmSync(folder, { recursive: true, force: true });
}
