// Serves the site, lets the page run in headless Chromium for about five
// seconds, saves the page as a PNG, prints the caption it shows, and ends
// the demo with a key press: scripts/run web where there is no display.
//
//   node web/visit.mjs SITE PAGE PICTURE
import { writeFileSync } from 'node:fs';
import { cleanUp, launch, open, serve, state, text, waitForState } from './test/browser.mjs';

const [site, file, picture] = process.argv.slice(2);
try {
  const address = await serve(site);
  console.log(`Serving ${site} at ${address}`);
  const page = await open(await launch('chromium'), address + file);
  await new Promise(resolve => setTimeout(resolve, 5000));
  if (await state(page) !== 'running')
    throw new Error(await text(page, '#status'));
  writeFileSync(picture, await page.puppeteer.screenshot());
  console.log(`Caption: ${await text(page, '#caption')}`);
  console.log(`Screenshot: ${picture}`);
  await page.press('x');
  await waitForState(page, ['ended'], 10);
  console.log(`Ended with a key press: ${await text(page, '#status')}`);
} catch (error) {
  console.error(`The page failed: ${error.message}`);
  process.exitCode = 1;
} finally {
  await cleanUp();
}
