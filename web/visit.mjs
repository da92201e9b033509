// Serves the site, lets the page run in headless Chromium for about five
// seconds, saves the page (canvas and text) as a PNG, prints the caption, and ends the demo
// with a key press: scripts/run web where there is no display.
//
//   node web/visit.mjs SITE PAGE PICTURE
import { writeFileSync } from 'node:fs';
import { chromium, cleanUp, open, serve, state, waitForState } from './test/browser.mjs';

const [site, file, picture] = process.argv.slice(2);
try {
  const address = await serve(site);
  console.log(`Serving ${site} at ${address}`);
  const page = await open(await chromium(), address + file);
  await new Promise(resolve => setTimeout(resolve, 5000));
  if (await state(page) !== 'running')
    throw new Error(await page.$eval('#status', e => e.textContent));
  writeFileSync(picture, await page.screenshot({ clip: { x: 0, y: 0, width: 704, height: 600 } }));
  console.log(`Page title: ${await page.title()}`);
  console.log(`Screenshot: ${picture}`);
  await page.keyboard.press('x');
  await waitForState(page, ['ended'], 10);
  console.log(`Ended with a key press: ${await page.$eval('#status', e => e.textContent)}`);
} catch (error) {
  console.error(`The page failed: ${error.message}`);
  process.exitCode = 1;
} finally {
  await cleanUp();
}
