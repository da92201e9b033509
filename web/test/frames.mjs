// Frames of both pages at fixed clock readings (?ticks=N), as a browser
// shows them on the canvas, written as PNG files named as the capture tool
// names its own: vornel_<layered|single>_<ticks>.png.
//
//   node frames.mjs chromium|firefox|webkit SITE OUT TICKS...
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { cleanUp, launch, open, serve, text, waitForState } from './browser.mjs';

const [name, site, out, ...ticks] = process.argv.slice(2);
const PAGES = { layered: 'index.html', single: 'single.html' };

try {
  const address = await serve(site);
  const browser = await launch(name);
  for (const [variant, file] of Object.entries(PAGES))
    for (const n of ticks) {
      const page = await open(browser, `${address}${file}?ticks=${n}`);
      const state = await waitForState(page, ['drawn', 'failed', 'ended'], 60);
      if (state !== 'drawn')
        throw new Error(`${file}?ticks=${n}: ${state}: ${await text(page, '#status')}`);
      const path = join(out, `vornel_${variant}_${n}.png`);
      writeFileSync(path, await page.picture());
      await page.close();
      console.log(path);
    }
} catch (error) {
  console.error(`frames: ${error.message}`);
  process.exitCode = 1;
} finally {
  await cleanUp();
}
