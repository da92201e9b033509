// The pages as a person meets them, in headless Chromium: the demo runs
// with the frame-rate caption as the page's title and a moving picture,
// a key ends it, and a missing bitmap or a browser without WebGL shows the
// program's own message.
//
//   node test_pages.mjs SITE
import assert from 'node:assert/strict';
import { cpSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { canvasPicture, chromium, cleanUp, open, serve, state, waitForState } from './browser.mjs';

const site = process.argv[2];
let browser;

before(async () => { browser = await chromium(); });
after(cleanUp);

const pause = ms => new Promise(resolve => setTimeout(resolve, ms));

for (const file of ['index.html', 'single.html'])
  test(`${file} runs with its frame rate in the title until a key is pressed`, async () => {
    const page = await open(browser, (await serve(site)) + file);
    await page.waitForFunction(() => /FPS: \d+$/.test(document.title), { timeout: 20000 });
    // The title collapses the caption's double space.
    assert.match(await page.title(), /^\*Vornel\* by Talwick \[OpenGL demo\] FPS: \d+$/);
    const first = await canvasPicture(page);
    await pause(500);
    assert.notDeepEqual(await canvasPicture(page), first, 'the picture should move');
    assert.equal(await state(page), 'running');

    await page.keyboard.press('x');
    assert.equal(await waitForState(page, ['ended', 'failed'], 10), 'ended');
    assert.match(await page.$eval('#status', e => e.textContent), /The demo has ended/);
    const last = await canvasPicture(page);
    await pause(300);
    assert.deepEqual(await canvasPicture(page), last, 'the picture should stand still');
    await page.close();
  });

test('a missing bitmap shows the program\'s message on the page', async () => {
  const folder = mkdtempSync(join(tmpdir(), 'vornel-site-'));
  try {
    cpSync(site, folder, { recursive: true });
    rmSync(join(folder, 'organ.bmp'));
    const address = await serve(folder);
    for (const query of ['', '?ticks=5000']) {
      const page = await open(browser, address + query);
      assert.equal(await waitForState(page, ['failed', 'ended', 'drawn'], 20), 'failed');
      assert.equal(await page.$eval('#status', e => e.textContent),
                   "Can't load texture!!!Couldn't open organ.bmp");
      await page.close();
    }
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});

test('a browser without WebGL shows the message of a window that cannot open', async () => {
  const page = await open(await chromium(['--disable-webgl']), await serve(site));
  assert.equal(await waitForState(page, ['failed', 'ended', 'drawn'], 20), 'failed');
  assert.equal(await page.$eval('#status', e => e.textContent),
               'Video initialization failed: this browser gives no WebGL context');
});
