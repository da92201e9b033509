// How long a visitor waits for the first frame, and how many bytes each
// page costs, in headless Chromium with an empty cache: on the loopback
// and under Chromium's "Slow 4G" (puppeteer's preset: 1.44 Mbit/s down,
// 562 ms round trip). The first frame is the page's first WebGL draw;
// bytes are what the network carried (headers included) until then and
// one more second. Medians of RUNS (3) loads, after the machine's load
// (first-frame times on the loopback grow with it).
//
//   node web/first_frame.mjs SITE [RUNS]
import { loadavg } from 'node:os';
import { PredefinedNetworkConditions, cleanUp, launch, open, serve } from './test/browser.mjs';

const [site, runs = 3] = process.argv.slice(2);
const median = values => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];

// Notes the time of the page's first draw call, before any of its scripts run.
function noteFirstDraw() {
  const draw = WebGLRenderingContext.prototype.drawElements;
  WebGLRenderingContext.prototype.drawElements = function (...args) {
    window.firstDraw = window.firstDraw || performance.now();
    return draw.apply(this, args);
  };
}

async function load(browser, address, network) {
  const page = await open(browser, 'about:blank');
  const tab = page.puppeteer;
  await tab.setCacheEnabled(false);
  if (network) await tab.emulateNetworkConditions(network);
  await tab.evaluateOnNewDocument(noteFirstDraw);
  await tab.goto(address);
  await tab.waitForFunction(() => window.firstDraw, { timeout: 60000 });
  await new Promise(resolve => setTimeout(resolve, 1000));
  const [first, bytes] = await tab.evaluate(() => [window.firstDraw,
    performance.getEntries().reduce((sum, entry) => sum + (entry.transferSize || 0), 0)]);
  await page.close();
  return { first, bytes };
}

console.log(`load ${loadavg().map(n => n.toFixed(2)).join(' ')}`);
try {
  const address = await serve(site);
  const browser = await launch('chromium');
  for (const [network, conditions] of [['loopback', null],
                                       ['Slow 4G', PredefinedNetworkConditions['Slow 4G']]])
    for (const file of ['index.html', 'single.html']) {
      const results = [];
      for (let i = 0; i < runs; i++) results.push(await load(browser, address + file, conditions));
      const first = median(results.map(r => r.first)), bytes = median(results.map(r => r.bytes));
      console.log(`${network} ${file}: first frame ${(first / 1000).toFixed(2)} s, ` +
                  `${(bytes / 1000).toFixed(1)} kB`);
    }
} finally {
  await cleanUp();
}
