// What the browser tests share: the site served on a free port of the
// loopback, and Chromium or Firefox started with a profile of its own,
// driven by puppeteer-core. Everything started here is stopped, and every
// folder made here removed, by the close() it returns, and on SIGTERM or
// SIGINT (a CTest timeout) too.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, readFileSync, statSync, openSync, closeSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import puppeteer from 'puppeteer-core';

const TYPES = {
  '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.bmp': 'image/bmp', '.png': 'image/png',
};

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

// A static server for `folder` on 127.0.0.1 and a port the system picks;
// resolves to the site's address, ending in '/'.
export function serve(folder) {
  const server = createServer((request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const file = join(folder, path.endsWith('/') ? path + 'index.html' : path);
    try {
      if (!statSync(file).isFile()) throw new Error('not a file');
      response.writeHead(200, { 'Content-Type': TYPES[extname(file)] || 'application/octet-stream' });
      response.end(readFileSync(file));
    } catch {
      response.writeHead(404).end();
    }
  });
  cleanups.push(() => new Promise(resolve => server.close(resolve)));
  return new Promise(resolve =>
    server.listen(0, '127.0.0.1', () => resolve(`http://127.0.0.1:${server.address().port}/`)));
}

// Headless Chromium with WebGL on SwiftShader; nothing it does reaches the
// network. `more` are further command-line switches.
export async function chromium(more = []) {
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

// A private Xvfb; resolves to its display name.
function xvfb() {
  const folder = temporaryFolder('vornel-xvfb-');
  const file = join(folder, 'display');
  const fd = openSync(file, 'w');
  const server = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
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
      } else if (Date.now() - started > 10000 || server.exitCode !== null) {
        clearInterval(poll);
        reject(new Error('Xvfb did not start'));
      }
    }, 50);
  });
}

// Firefox ESR on a private Xvfb: its headless mode has no WebGL, on X it
// draws with Mesa's llvmpipe.
export async function firefox() {
  const display = await xvfb();
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

export function launch(name) {
  return name === 'firefox' ? firefox() : chromium();
}

// A new tab at `address`, its viewport larger than the page's canvas.
export async function open(browser, address) {
  const page = await browser.newPage();
  await page.setViewport({ width: 800, height: 700, deviceScaleFactor: 1 });
  await page.goto(address);
  return page;
}

// The page's state: running, drawn, ended or failed (web/page.js).
export function state(page) {
  return page.evaluate(() => document.body.dataset.state);
}

export async function waitForState(page, wanted, seconds = 20) {
  await page.waitForFunction(
    states => states.includes(document.body.dataset.state), { timeout: seconds * 1000 }, wanted);
  return state(page);
}

// The canvas as the page shows it, a PNG.
export async function canvasPicture(page) {
  const canvas = await page.$('canvas');
  return canvas.screenshot({ type: 'png' });
}
