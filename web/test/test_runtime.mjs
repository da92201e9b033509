// The browser build's runtime as the browsers' own faults and pages meet
// it: a lost and restored WebGL context, a hidden page, a canvas shown at
// any size and pixel ratio, bad ?ticks values, a big bitmap, and the end
// of a run, none of which may leave an uncaught error.
//
// The lost context in the browser named (chromium, firefox or webkit); the
// rest in Chromium alone.
//
//   node test_runtime.mjs SITE chromium|firefox|webkit
import assert from 'node:assert/strict';
import { cpSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, test } from 'node:test';
import { chromium, cleanUp, launch, open, serve, state, waitForState } from './browser.mjs';

const [site, name] = process.argv.slice(2);
const inChromium = { skip: name !== 'chromium' };
after(cleanUp);

const pause = ms => new Promise(resolve => setTimeout(resolve, ms));

// A page whose uncaught errors are kept, with its WebGL warnings where the
// browser tells them (Chromium and Firefox), and whose program's captions
// and context news are noted with the time they came. `before(page)` runs
// ahead of the address.
async function watched(browser, address, before = async () => {}) {
  const page = await open(browser, 'about:blank');
  const uncaught = [], warnings = [];
  if (page.puppeteer) {
    page.puppeteer.on('pageerror', error => uncaught.push(String(error.message || error)));
    page.puppeteer.on('console', message => {
      if (/webgl|INVALID|context/i.test(message.text())) warnings.push(message.text());
    });
  }
  await before(page);
  await page.goto(address);
  await page.waitFor(() => typeof Module === 'object', 60);
  await page.evaluate(() => {
    window.heard = { captions: [], lost: 0, restored: 0, uncaught: [] };
    addEventListener('error', event => heard.uncaught.push(String(event.message)));
    addEventListener('unhandledrejection', event => heard.uncaught.push(String(event.reason)));
    const theirs = { ...Module };
    Module.onCaption = text => {
      heard.captions.push({ at: performance.now(), text });
      if (theirs.onCaption) theirs.onCaption(text);
    };
    Module.onContextLost = () => { heard.lost++; if (theirs.onContextLost) theirs.onContextLost(); };
    Module.onContextRestored = () => { heard.restored++; if (theirs.onContextRestored) theirs.onContextRestored(); };
  });
  page.uncaught = async () => uncaught.concat(await page.evaluate(() => heard.uncaught));
  page.warnings = warnings;
  return page;
}

const captions = page => page.evaluate(() => heard.captions.filter(c => /FPS/.test(c.text)));

// Notes each texture level the page hands WebGL, as 'LEVEL:WIDTHxHEIGHT',
// from now on, in window.textureLevels.
function noteTextureLevels() {
  if (!window.textureLevels) {
    const give = WebGLRenderingContext.prototype.texImage2D;
    WebGLRenderingContext.prototype.texImage2D = function (...args) {
      if (args.length === 9) textureLevels.push(`${args[1]}:${args[3]}x${args[4]}`);
      return give.apply(this, args);
    };
  }
  window.textureLevels = [];
}

// Level 0 of each bitmap, once: the programs' filter reads no other.
const LEVEL_0_OF_EACH = ['0:256x256', '0:256x256'];

// The share of pixels brighter than near-black in each region of a PNG,
// regions given as fractions [left, top, right, bottom] of its size.
function litShares(page, png, regions) {
  return page.evaluate(async (data, regions) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + data;
    await image.decode();
    const canvas = document.createElement('canvas');
    canvas.width = image.width;
    canvas.height = image.height;
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    const pixels = context.getImageData(0, 0, image.width, image.height).data;
    return regions.map(([left, top, right, bottom]) => {
      let lit = 0, all = 0;
      for (let y = Math.floor(top * image.height); y < Math.floor(bottom * image.height); y++)
        for (let x = Math.floor(left * image.width); x < Math.floor(right * image.width); x++, all++) {
          const i = 4 * (y * image.width + x);
          if (pixels[i] + pixels[i + 1] + pixels[i + 2] > 30) lit++;
        }
      return lit / all;
    });
  }, png.toString('base64'), regions);
}

async function assertMovingPicture(page, what) {
  const first = await page.picture();
  await pause(600);
  const second = await page.picture();
  assert.notDeepEqual(second, first, `${what}: the picture should move`);
  const [lit] = await litShares(page, second, [[0, 0, 1, 1]]);
  assert.ok(lit > 0.5, `${what}: the picture should be drawn, not black (${lit} lit)`);
}

async function endWithKey(page) {
  await page.press('x');
  assert.equal(await waitForState(page, ['ended', 'failed'], 30), 'ended');
  await pause(300);
  assert.deepEqual(await page.uncaught(), [], 'no uncaught error');
}

test(`${name}: a lost context pauses the demo, a restored one shows the moving picture again`, async () => {
  const browser = await launch(name);
  const page = await watched(browser, (await serve(site)) + 'index.html',
                             async page => page.puppeteer && page.puppeteer.evaluateOnNewDocument(noteTextureLevels));
  await page.waitFor(() => heard.captions.some(c => /FPS/.test(c.text)), 60);
  if (page.puppeteer)  // WebDriver runs nothing before the page's own scripts
    assert.deepEqual(await page.evaluate(() => textureLevels), LEVEL_0_OF_EACH, 'what WebGL is given');
  await page.evaluate(() => {
    window.loser = document.getElementById('canvas').getContext('webgl').getExtension('WEBGL_lose_context');
    loser.loseContext();
  });
  const lostAt = await page.evaluate(() => performance.now());
  await pause(3500);
  assert.equal(await page.evaluate(() => heard.lost), 1, 'the page hears of the loss');
  assert.equal(await state(page), 'running');
  const before = (await captions(page)).filter(c => c.at > lostAt + 100);
  assert.deepEqual(before, [], 'no frame rate while the context is lost');

  await page.evaluate(noteTextureLevels);
  const restoredAt = await page.evaluate(() => { loser.restoreContext(); return performance.now(); });
  await page.waitFor(() => heard.restored === 1, 30);
  assert.deepEqual(await page.evaluate(() => textureLevels), LEVEL_0_OF_EACH, 'what a new context is given');
  await assertMovingPicture(page, 'after the restore');
  await page.waitFor(t => heard.captions.some(c => c.at > t && /FPS/.test(c.text)), 60, restoredAt);
  const [next] = (await captions(page)).filter(c => c.at > restoredAt);
  // The program counts from the restore: three whole seconds of its
  // clock, at least two of the page's, before the next rate.
  assert.ok(next.at - restoredAt > 1900, `a rate ${next.at - restoredAt} ms after the restore counts lost time`);
  assert.match(next.text, /^\*Vornel\* by Talwick \[OpenGL demo\]  FPS: [1-9]\d*$/);
  assert.deepEqual(page.warnings, [], 'no WebGL warnings: nothing of the old context is used');  // none heard in WebKit
  await endWithKey(page);
});

test('chromium: a hidden page pauses the demo as a minimised window does', inChromium, async () => {
  const browser = await chromium();
  const page = await watched(browser, (await serve(site)) + 'index.html');
  await page.waitFor(() => heard.captions.some(c => /FPS/.test(c.text)), 60);
  // Chromium hides a tab when another comes to the front.
  const other = await browser.newPage();
  await other.puppeteer.bringToFront();
  await page.waitFor(() => document.hidden, 30);
  const hiddenAt = await page.evaluate(() => performance.now());
  await pause(3500);
  await page.puppeteer.bringToFront();
  await page.waitFor(() => !document.hidden, 30);
  const shownAt = await page.evaluate(() => performance.now());
  await page.waitFor(t => heard.captions.some(c => c.at > t && /FPS/.test(c.text)), 60, shownAt);
  const [next] = (await captions(page)).filter(c => c.at > hiddenAt + 100);
  assert.ok(next.at - shownAt > 1900, `a rate ${next.at - shownAt} ms after the page came back counts hidden time`);
  await other.close();
  await endWithKey(page);
});

test('chromium: the canvas is drawn at its displayed size × devicePixelRatio, 4:3 and centred', inChromium, async () => {
  const browser = await chromium();
  const address = await serve(site);
  const retina = page => page.puppeteer.setViewport({ width: 1000, height: 800, deviceScaleFactor: 2 });
  // [CSS box, the lit part's region as fractions of the canvas, the bars']
  const boxes = [
    [[900, 500], [0.2, 0.1, 0.8, 0.9], [[0, 0, 0.12, 1], [0.88, 0, 1, 1]]],
    [[400, 600], [0.1, 0.3, 0.9, 0.7], [[0, 0, 1, 0.23], [0, 0.77, 1, 1]]],
  ];
  for (const [[width, height], inside, bars] of boxes) {
    const page = await watched(browser, address + 'index.html', retina);
    // The page's caption over the picture is not the layer's.
    await page.puppeteer.addStyleTag({ content: `#canvas { width: ${width}px !important; height: ${height}px !important; } #caption { display: none !important; }` });
    await page.waitFor((w, h) => canvas.width === w && canvas.height === h, 60, 2 * width, 2 * height);
    await pause(500);
    const picture = await page.picture();
    const [lit, ...barShares] = await litShares(page, picture, [inside, ...bars]);
    assert.ok(lit > 0.5, `${width} x ${height}: the picture fills its 4:3 part (${lit} lit)`);
    for (const share of barShares)
      assert.ok(share < 0.001, `${width} x ${height}: the bars are black (${share} lit)`);
    await endWithKey(page);
  }
  const still = await watched(browser, address + 'index.html?ticks=5000', retina);
  assert.equal(await waitForState(still, ['drawn', 'failed'], 30), 'drawn');
  assert.deepEqual(await still.evaluate(() => [canvas.width, canvas.height]), [640, 480], 'a still is 640 x 480');
});

test('chromium: a ?ticks value that is no clock reading gets a message and no frame', inChromium, async () => {
  const browser = await chromium();
  const address = await serve(site);
  for (const value of ['abc', '', '%3Cscript%3E', '-1', '1.5', '%2B5', '4294967296', '99999999999']) {
    const page = await watched(browser, `${address}index.html?ticks=${value}`);
    assert.equal(await waitForState(page, ['drawn', 'failed', 'ended'], 30), 'failed', value);
    const shown = decodeURIComponent(value);
    assert.equal(await page.$eval('#status', e => e.textContent),
                 `?ticks=${shown} is not a clock reading: it takes a whole number of milliseconds from 0 to 4294967295`);
    assert.equal(await page.title(), 'Vornel', `${value}: the program never started`);
    assert.deepEqual(await page.uncaught(), []);
    await page.close();
  }
  const last = await watched(browser, `${address}single.html?ticks=4294967295`);
  assert.equal(await waitForState(last, ['drawn', 'failed', 'ended'], 30), 'drawn');
  assert.deepEqual(await last.uncaught(), []);
});

// A 24-bit bitmap of `side` × `side` pixels of one colour.
function bitmap(side) {
  const row = side * 3, bytes = Buffer.alloc(54 + row * side, 0x80);
  bytes.write('BM', 0);
  bytes.writeUInt32LE(bytes.length, 2);
  bytes.writeUInt32LE(54, 10);
  bytes.writeUInt32LE(40, 14);
  bytes.writeInt32LE(side, 18);
  bytes.writeInt32LE(side, 22);
  bytes.writeUInt16LE(1, 26);
  bytes.writeUInt16LE(24, 28);
  bytes.writeUInt32LE(0, 30);
  return bytes;
}

test('chromium: the files come gzipped, or as they are where a site lacks that; ' +
     'a 1024 x 1024 bitmap loads; single.html never downloads veins.bmp', inChromium, async () => {
  const folder = mkdtempSync(join(tmpdir(), 'vornel-site-'));
  try {
    cpSync(site, folder, { recursive: true });
    writeFileSync(join(folder, 'organ.bmp'), bitmap(1024));
    rmSync(join(folder, 'organ.bmp.gz'));
    const browser = await chromium();
    const big = await watched(browser, (await serve(folder)) + 'index.html?ticks=5000');
    assert.equal(await waitForState(big, ['drawn', 'failed', 'ended'], 60), 'drawn',
                 await big.$eval('#status', e => e.textContent));

    const asked = [];
    const single = await watched(browser, (await serve(site)) + 'single.html', async page =>
      page.puppeteer.on('request', request => asked.push(new URL(request.url()).pathname)));
    await single.waitFor(() => heard.captions.some(c => /FPS/.test(c.text)), 60);
    assert.deepEqual(asked.filter(path => !/\.(html|png)$/.test(path)).sort(),
                     ['/organ.bmp.gz', '/page.js', '/vornel_single.js.gz', '/vornel_single.wasm.gz']);
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});
