// The pages as a visitor meets them, in one browser (chromium, firefox or
// webkit): the demo runs with its caption on the page, moves, ends on a
// key or on Stop and starts again, leaves the browser its own keys and
// gives the keyboard back at the end; the picture fits a phone and fills
// the screen; failed and stalled files and a browser without WebGL get
// messages. What only Chromium can be asked (reduced motion, the page's
// listeners, a phone's viewport) is tried there.
//
//   node test_pages.mjs SITE BROWSER
import assert from 'node:assert/strict';
import { after, afterEach, before, test } from 'node:test';
import { cleanUp, launch, open as openPage, serve, state, text, waitForState } from './browser.mjs';

const [site, name] = process.argv.slice(2);
const chromium = name === 'chromium';
let browser, address;

before(async () => {
  browser = await launch(name);
  address = await serve(site);
});
after(cleanUp);

// Each test's pages are closed after it, passed or failed: a page left
// open would stand in front of the next test's.
let pages = [];
// Where puppeteer can, the page's uncaught errors are kept (page.errors).
async function open(browser, address, options) {
  const page = await openPage(browser, 'about:blank', options);
  pages.push(page);
  page.errors = [];
  page.puppeteer?.on('pageerror', error => page.errors.push(error.message));
  await page.goto(address);
  return page;
}
afterEach(async () => {
  for (const page of pages) await page.close().catch(() => {});
  pages = [];
});

const pause = ms => new Promise(resolve => setTimeout(resolve, ms));
const ENDS = ['ended', 'failed', 'drawn'];

async function running(file, options) {
  const page = await open(browser, address + file, options);
  assert.equal(await waitForState(page, ['running', ...ENDS]), 'running', await text(page, '#status'));
  return page;
}

// Whether the picture changes within five seconds.
async function moves(page) {
  const first = await page.picture();
  for (let tries = 0; tries < 20; tries++) {
    await pause(250);
    if (!first.equals(await page.picture())) return true;
  }
  return false;
}

// Keys each browser may be sent without side effects of its own that would
// end the test (F5 reloads; Firefox opens its tools on F12).
const BROWSER_KEYS = { chromium: ['F11', 'F12', 'Control', 'Alt', 'Control+Shift+j'],
                       firefox: ['Control', 'Alt'], webkit: ['Control', 'Alt'] }[name];

for (const file of ['index.html', 'single.html'])
  test(`${file} runs with its caption on the page, keeps browser keys, ends on a key and gives the keyboard back`, async () => {
    const page = await running(file);
    await page.waitFor(() => /FPS: \d+$/.test(document.getElementById('caption').textContent), 30);
    assert.match(await text(page, '#caption'), /^\*Vornel\* by Talwick \[OpenGL demo\] {2}FPS: \d+$/);
    // The title collapses the caption's double space.
    assert.match(await page.title(), /^\*Vornel\* by Talwick \[OpenGL demo\] FPS: \d+$/);
    assert.ok(await moves(page), 'the picture should move');

    for (const keys of BROWSER_KEYS) await page.press(keys);
    await pause(300);
    assert.equal(await state(page), 'running', `${BROWSER_KEYS} should not end the demo`);

    await page.press('x');
    assert.equal(await waitForState(page, ENDS, 10), 'ended');
    assert.equal(await text(page, '#status'), 'The demo has ended.');
    const last = await page.picture();
    await pause(500);
    assert.ok(last.equals(await page.picture()), 'the picture should stand still');
    await page.press('Tab');
    assert.match(await page.evaluate(() => document.activeElement.tagName), /^(A|BUTTON)$/,
                 'Tab should reach the page\'s controls once the demo has ended');
    assert.deepEqual(page.errors, []);
  });

test('Stop ends the run as a key does, and Start again runs it once more', async () => {
  const page = await running('index.html');
  await page.click('#stop');
  assert.equal(await waitForState(page, ENDS, 10), 'ended');
  assert.equal(await text(page, '#start'), 'Start again');
  await page.click('#start');
  assert.equal(await waitForState(page, ['running', ...ENDS]), 'running', await text(page, '#status'));
  assert.ok(await moves(page), 'the picture should move again');
  await page.press('x');
  assert.equal(await waitForState(page, ENDS, 10), 'ended');
  assert.deepEqual(page.errors, []);
});

test('a lost WebGL context is said on the page, and once restored the picture moves again', async () => {
  const page = await running('index.html');
  // The extension is kept: a lost context gives none.
  await page.evaluate(() => {
    window.loss = document.getElementById('canvas').getContext('webgl').getExtension('WEBGL_lose_context');
    window.loss.loseContext();
  });
  await page.waitFor(() => /WebGL context away/.test(document.getElementById('status').textContent), 10);
  await page.evaluate(() => window.loss.restoreContext());
  await page.waitFor(() => document.getElementById('status').textContent === '', 10);
  assert.ok(await moves(page), 'the picture should move again');
  assert.equal(await state(page), 'running');
  assert.deepEqual(page.errors, []);
});

// The picture's box, the viewport and how wide the page is laid out.
const layout = page => page.evaluate(() => {
  const box = document.getElementById('canvas').getBoundingClientRect();
  return { width: box.width, height: box.height, right: box.right, inner: innerWidth,
           page: document.documentElement.scrollWidth };
});

test('the picture fits a phone, 4:3, and grows with a large window', async () => {
  // WebKitGTK's MiniBrowser window is never narrower than about 450 pixels.
  const page = await open(browser, address + 'index.html', { width: 390, height: 844, mobile: true });
  const phone = await layout(page);
  // Laid out at the phone's own width (its meta viewport), not a desktop's.
  assert.ok(phone.inner < 500, JSON.stringify(phone));
  assert.ok(phone.page <= phone.inner && phone.right <= phone.inner, JSON.stringify(phone));
  assert.ok(Math.abs(phone.width / phone.height - 4 / 3) < 0.01, JSON.stringify(phone));
  assert.ok(phone.width > 0.8 * phone.inner, JSON.stringify(phone));

  await page.resize(1600, 1000);
  const large = await layout(page);
  assert.ok(large.width > 1000 && large.right <= large.inner, JSON.stringify(large));
  assert.ok(Math.abs(large.width / large.height - 4 / 3) < 0.01, JSON.stringify(large));
});

test('full screen: the control and a double click, the picture filling the screen, Escape', async () => {
  const page = await running('index.html');
  // Runs in the page: the canvas's box is the screen's, and its backing
  // store as many pixels.
  const full = () => {
    const canvas = document.getElementById('canvas');
    const box = canvas.getBoundingClientRect();
    return document.fullscreenElement === document.getElementById('stage') &&
           box.width === innerWidth && box.height === innerHeight &&
           canvas.width === Math.round(box.width * devicePixelRatio) &&
           canvas.height === Math.round(box.height * devicePixelRatio);
  };
  await page.click('#fullscreen');
  await page.waitFor(full, 10);
  await page.doubleClick('#canvas');
  await page.waitFor(() => !document.fullscreenElement, 10);
  await page.doubleClick('#canvas');
  await page.waitFor(full, 10);
  // Escape is the browser's in full screen (headless Chromium's stays there).
  await page.press('Escape');
  await pause(300);
  assert.equal(await state(page), 'running', 'Escape in full screen should not end the demo');
});

test('a missing file, or one that stalls, gets a message naming it', async () => {
  const noWasm = await serve(site, { missing: ['vornel_layered.wasm'] });
  const noBitmap = await serve(site, { missing: ['organ.bmp'] });
  const stalled = await serve(site, { stalled: ['vornel_single.js', 'organ.bmp'] });
  const cases = [
    [noWasm + 'index.html', 'Could not load vornel_layered.wasm: the server answered 404 Not Found.\n' +
                            'The demo cannot start.'],
    [noBitmap + 'single.html?ticks=5000', 'Could not load organ.bmp: the server answered 404 Not Found.\n' +
                                          "Can't load texture!!!Couldn't open organ.bmp"],
    [stalled + 'index.html?wait=1', 'Could not load organ.bmp: nothing arrived for 1 seconds.\n' +
                                    "Can't load texture!!!Couldn't open organ.bmp"],
    [stalled + 'single.html?wait=1', 'Could not load vornel_single.js: nothing arrived for 1 seconds.\n' +
                                     'The demo cannot start.'],
  ];
  for (const [page_address, message] of cases) {
    const page = await open(browser, page_address);
    assert.equal(await waitForState(page, ENDS), 'failed', page_address);
    assert.equal(await text(page, '#status'), message, page_address);
  }
});

test('where motion is reduced, the page waits for Start', { skip: !chromium }, async () => {
  const page = await open(browser, 'about:blank');
  await page.puppeteer.emulateMediaFeatures([{ name: 'prefers-reduced-motion', value: 'reduce' }]);
  await page.goto(address + 'index.html');
  await pause(1500);
  assert.equal(await state(page), 'waiting');
  await page.click('#start');
  assert.equal(await waitForState(page, ['running', ...ENDS]), 'running');
});

test('the page has no unload listener, and the project\'s icon', { skip: !chromium }, async () => {
  const page = await running('index.html');
  const session = await page.puppeteer.createCDPSession();
  const { result } = await session.send('Runtime.evaluate', { expression: 'window' });
  const { listeners } = await session.send('DOMDebugger.getEventListeners', { objectId: result.objectId });
  assert.deepEqual(listeners.filter(l => l.type === 'unload'), []);
  const icon = await page.evaluate(async () => {
    const response = await fetch(document.querySelector('link[rel=icon]').href);
    return [response.status, response.headers.get('Content-Type')];
  });
  assert.deepEqual(icon, [200, 'image/png']);
});

test('without JavaScript the page says what it needs', { skip: !chromium }, async () => {
  const page = await open(browser, 'about:blank');
  await page.puppeteer.setJavaScriptEnabled(false);
  await page.goto(address + 'single.html');
  assert.match(await page.puppeteer.$eval('body', body => body.innerText), /needs JavaScript/);
});

test('a browser without WebGL shows the message of a window that cannot open', { skip: !chromium }, async () => {
  const page = await open(await launch('chromium', { args: ['--disable-webgl'] }), address);
  assert.equal(await waitForState(page, ENDS), 'failed');
  assert.equal(await text(page, '#status'),
               'Video initialization failed: this browser gives no WebGL context');
});
