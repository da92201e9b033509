// What the browser tests share: the site served on a free port of the
// loopback, and Chromium, Firefox or WebKit started with a profile of its
// own. Chromium and Firefox are driven by puppeteer-core; WebKit (Debian's
// MiniBrowser) by WebKitGTK's WebDriver, over W3C WebDriver's HTTP API.
// Either way a test gets the same small page API (see `open`), so one
// test runs in all three. Everything started here is stopped, and every
// folder made here removed, by cleanUp(), and on SIGTERM or SIGINT (a
// CTest timeout) too.
import { spawn, spawnSync } from 'node:child_process';
import { closeSync, mkdtempSync, openSync, readFileSync, rmSync, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import puppeteer from 'puppeteer-core';

export { PredefinedNetworkConditions } from 'puppeteer-core';

const TYPES = {
  '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.bmp': 'image/bmp', '.png': 'image/png',
};

export const BROWSERS = ['chromium', 'firefox', 'webkit'];

const cleanups = [];

// Runs the cleanups, newest first; each runs once.
export async function cleanUp() {
  while (cleanups.length)
    await cleanups.pop()().catch(() => {});
}

for (const signal of ['SIGTERM', 'SIGINT'])
  process.on(signal, () => cleanUp().finally(() => process.exit(1)));

function temporaryFolder(prefix) {
  const path = mkdtempSync(join(tmpdir(), prefix));
  cleanups.push(async () => rmSync(path, { recursive: true, force: true }));
  return path;
}

const pause = ms => new Promise(resolve => setTimeout(resolve, ms));

// A static server for `folder` on 127.0.0.1 and a port the system picks;
// resolves to the site's address, ending in '/'. Files named in `missing`
// answer 404; those in `stalled` send their headers and then nothing, as a
// connection that has stopped moving does, until the server closes. Either
// holds for the file gzipped too (NAME.gz).
export function serve(folder, { missing = [], stalled = [] } = {}) {
  const held = new Set();
  const server = createServer((request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const file = join(folder, path.endsWith('/') ? path + 'index.html' : path);
    const name = file.slice(file.lastIndexOf('/') + 1).replace(/\.gz$/, '');
    try {
      if (missing.includes(name) || !statSync(file).isFile()) throw new Error('not a file');
      response.writeHead(200, { 'Content-Type': TYPES[extname(file)] || 'application/octet-stream' });
      if (stalled.includes(name)) {
        response.flushHeaders();
        held.add(response);
        return;
      }
      response.end(readFileSync(file));
    } catch {
      response.writeHead(404).end();
    }
  });
  cleanups.push(() => new Promise(resolve => {
    held.forEach(response => response.destroy());
    server.close(resolve);
  }));
  return new Promise(resolve =>
    server.listen(0, '127.0.0.1', () => resolve(`http://127.0.0.1:${server.address().port}/`)));
}

// A private Xvfb of the given size; resolves to its display name.
function xvfb(size = '1024x768') {
  const folder = temporaryFolder('vornel-xvfb-');
  const file = join(folder, 'display');
  const fd = openSync(file, 'w');
  const server = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', `${size}x24`, '-nolisten', 'tcp',
                                '-noreset'],
                       { stdio: ['ignore', 'ignore', 'ignore', fd] });
  closeSync(fd);
  cleanups.push(async () => { server.kill(); });
  return new Promise((resolve, reject) => {
    const started = Date.now();
    const poll = setInterval(() => {
      const text = readFileSync(file, 'utf8');
      if (text.endsWith('\n')) {
        clearInterval(poll);
        resolve(':' + text.trim());
      } else if (Date.now() - started > 30000 || server.exitCode !== null) {
        clearInterval(poll);
        reject(new Error('Xvfb did not start'));
      }
    }, 50);
  });
}

// ---- Chromium and Firefox, through puppeteer ------------------------------------

// Headless Chromium with WebGL on SwiftShader; nothing it does reaches the
// network. `more` are further command-line switches.
async function startChromium(more = []) {
  const browser = await puppeteer.launch({
    executablePath: process.env.VORNEL_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: temporaryFolder('vornel-chromium-'),
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--no-first-run', '--disable-gpu-vsync', ...more],
  });
  cleanups.push(() => browser.close());
  return browser;
}

// Firefox ESR on a private Xvfb (of `screen`, WIDTHxHEIGHT): its headless
// mode has no WebGL, on X it draws with Mesa's llvmpipe.
async function startFirefox(screen) {
  const display = await xvfb(screen);
  const browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: process.env.VORNEL_FIREFOX || '/usr/bin/firefox-esr',
    headless: false,
    userDataDir: temporaryFolder('vornel-firefox-'),
    env: { ...process.env, DISPLAY: display },
  });
  cleanups.push(() => browser.close());
  return browser;
}

// The page API over a puppeteer page; whatever else the puppeteer page
// offers passes through.
function puppeteerPage(page) {
  const api = {
    puppeteer: page,
    goto: address => page.goto(address),
    evaluate: (fn, ...args) => page.evaluate(fn, ...args),
    waitFor: (fn, seconds, ...args) => page.waitForFunction(fn, { timeout: seconds * 1000 }, ...args),
    title: () => page.title(),
    async press(keys) {
      const names = keys.split('+');
      for (const name of names) await page.keyboard.down(name);
      for (const name of names.reverse()) await page.keyboard.up(name);
    },
    click: selector => page.click(selector),
    doubleClick: selector => page.click(selector, { count: 2 }),
    async picture(selector = '#canvas') {
      return (await page.$(selector)).screenshot({ type: 'png' });
    },
    resize: (width, height, mobile = false) =>
      page.setViewport({ width, height, deviceScaleFactor: 1, isMobile: mobile, hasTouch: mobile }),
    close: () => page.close(),
  };
  return new Proxy(page, {
    get: (target, name) => name in api ? api[name]
      : typeof target[name] === 'function' ? target[name].bind(target) : target[name],
  });
}

// A puppeteer browser whose new pages have the page API.
function puppeteerBrowser(browser) {
  return new Proxy(browser, {
    get: (target, name) => name === 'newPage' ? async () => puppeteerPage(await target.newPage())
      : typeof target[name] === 'function' ? target[name].bind(target) : target[name],
  });
}

// ---- WebKit, through WebDriver ---------------------------------------------------

const MINIBROWSER = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
const ELEMENT = 'element-6066-11e4-a52e-4f735466cecf';  // W3C WebDriver's element key
const KEYS = {  // W3C WebDriver's code points for keys without a character
  Tab: '\uE004', Enter: '\uE007', Shift: '\uE008', Control: '\uE009', Alt: '\uE00A',
  Escape: '\uE00C', F5: '\uE035', F11: '\uE03B', F12: '\uE03C', Meta: '\uE03D',
};

// WebKitWebDriver on a free port, MiniBrowser on a private Xvfb. The
// driver names no port it picked, so one is chosen here and retried if
// taken.
async function webkit() {
  const display = await xvfb();
  for (let attempt = 0; ; attempt++) {
    const port = 20000 + Math.floor(Math.random() * 20000);
    const driver = spawn(process.env.VORNEL_WEBKIT_DRIVER || 'WebKitWebDriver', [`--port=${port}`],
                         { stdio: 'ignore', env: { ...process.env, DISPLAY: display } });
    const stop = async () => { driver.kill(); };
    cleanups.push(stop);
    const base = `http://127.0.0.1:${port}`;
    const started = Date.now();
    while (driver.exitCode === null && Date.now() - started < 30000) {
      try {
        await (await fetch(base + '/status')).json();
        return webDriverBrowser(base);
      } catch {
        await pause(100);
      }
    }
    await stop();
    if (attempt === 3) throw new Error('WebKitWebDriver did not start');
  }
}

async function command(base, method, path, body) {
  const response = await fetch(base + path, {
    method, headers: { 'Content-Type': 'application/json' },
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  const answer = await response.json();
  if (!response.ok)
    throw new Error(`WebDriver ${method} ${path}: ${answer.value.error}: ${answer.value.message}`);
  return answer.value;
}

// WebKitWebDriver runs one session, one MiniBrowser, at a time: every page
// is opened in it in turn, and closing one leaves a blank page.
function webDriverBrowser(base) {
  let session;
  return {
    async newPage() {
      session = session || command(base, 'POST', '/session', {
        capabilities: { alwaysMatch: { 'webkitgtk:browserOptions': {
          binary: process.env.VORNEL_MINIBROWSER || MINIBROWSER, args: ['--automation'] } } },
      }).then(({ sessionId }) => {
        cleanups.push(() => command(base, 'DELETE', `/session/${sessionId}`));
        return `/session/${sessionId}`;
      });
      const at = await session;
      return webDriverPage((method, path, body) => command(base, method, at + path, body));
    },
  };
}

// The page API over a WebDriver session. Functions travel as their source
// text and run in the page, as puppeteer's do.
function webDriverPage(send) {
  const evaluate = (fn, ...args) =>
    send('POST', '/execute/sync', { script: `return (${fn}).apply(null, arguments)`, args });
  const element = async selector =>
    (await send('POST', '/element', { using: 'css selector', value: selector }))[ELEMENT];
  const pointer = (id, clicks) => send('POST', '/actions', { actions: [{
    type: 'pointer', id: 'mouse', parameters: { pointerType: 'mouse' },
    actions: [{ type: 'pointerMove', origin: { [ELEMENT]: id }, x: 0, y: 0 },
              ...Array(clicks).fill([{ type: 'pointerDown', button: 0 },
                                     { type: 'pointerUp', button: 0 }]).flat()],
  }] });
  return {
    goto: address => send('POST', '/url', { url: address }),
    evaluate,
    async waitFor(fn, seconds, ...args) {
      const end = Date.now() + seconds * 1000;
      while (!(await evaluate(fn, ...args))) {
        if (Date.now() > end) throw new Error(`Waiting for ${fn} failed: ${seconds} s passed`);
        await pause(100);
      }
    },
    title: () => send('GET', '/title'),
    press(keys) {
      const values = keys.split('+').map(name => KEYS[name] || name);
      return send('POST', '/actions', { actions: [{ type: 'key', id: 'keyboard', actions: [
        ...values.map(value => ({ type: 'keyDown', value })),
        ...values.reverse().map(value => ({ type: 'keyUp', value }))] }] });
    },
    click: async selector => pointer(await element(selector), 1),
    doubleClick: async selector => pointer(await element(selector), 2),
    // WebKitGTK's element screenshots lose part of a WebGL canvas (its top
    // rows come out black), its screenshots of the whole view do not: so
    // the view is taken and cut to the element (ImageMagick).
    async picture(selector = '#canvas') {
      const view = Buffer.from(await send('GET', '/screenshot'), 'base64');
      const box = await evaluate(s => {
        const r = document.querySelector(s).getBoundingClientRect();
        return [r.width, r.height, r.left, r.top].map(Math.round);
      }, selector);
      // Without dates in it, the same picture is the same bytes.
      const cut = spawnSync('convert', ['png:-', '-crop', `${box[0]}x${box[1]}+${box[2]}+${box[3]}`,
                                        '+repage', '-strip', '-define', 'png:exclude-chunk=date,time',
                                        'png:-'], { input: view, maxBuffer: 1 << 26 });
      if (cut.status !== 0) throw new Error(`convert: ${cut.stderr}`);
      return cut.stdout;
    },
    // The window's outer size is set, then grown by what its frame takes,
    // so that the page's viewport is width x height.
    async resize(width, height) {
      await send('POST', '/window/rect', { width, height });
      const inner = await evaluate(() => [innerWidth, innerHeight]);
      await send('POST', '/window/rect', { width: 2 * width - inner[0], height: 2 * height - inner[1] });
    },
    close: () => send('POST', '/url', { url: 'about:blank' }),
  };
}

// ---- What the tests use -----------------------------------------------------------

// Starts a browser by name; `options.args` are further switches for
// Chromium's command line, `options.screen` the size of Firefox's X
// screen. It opens pages with open(browser, ...).
export async function launch(name, options = {}) {
  if (name === 'chromium') return puppeteerBrowser(await startChromium(options.args));
  if (name === 'firefox') return puppeteerBrowser(await startFirefox(options.screen));
  if (name === 'webkit') return webkit();
  throw new Error(`no browser named ${name}`);
}

export const chromium = (args = []) => launch('chromium', { args });

// A new page at `address`, its viewport `width` x `height` (by default
// larger than the page's picture at its natural size). The page API:
// evaluate(fn, ...args) and waitFor(fn, seconds, ...args) run fn in the
// page; title(); press('x'), press('Control+r'); click and doubleClick a
// selector; picture(selector): a PNG of an element as shown;
// resize(width, height, mobile: a phone's, where puppeteer can);
// close(); and, in Chromium and Firefox,
// .puppeteer, the puppeteer page, for what only they offer.
export async function open(browser, address, { width = 800, height = 700, mobile } = {}) {
  const page = await browser.newPage();
  await page.resize(width, height, mobile);
  await page.goto(address);
  return page;
}

// The page's state: loading, waiting, running, drawn, ended or failed
// (web/page.js).
export function state(page) {
  return page.evaluate(() => document.body.dataset.state);
}

export async function waitForState(page, wanted, seconds = 30) {
  await page.waitFor(states => states.includes(document.body.dataset.state), seconds, wanted);
  return state(page);
}

// The text the page shows in `selector`.
export function text(page, selector) {
  return page.evaluate(s => document.querySelector(s).textContent, selector);
}

// The canvas as the page shows it, a PNG.
export const canvasPicture = page => page.picture();
