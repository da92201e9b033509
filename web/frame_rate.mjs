// The frame rate each browser shows in the caption, for both pages: four
// readings three seconds apart, after the first caption. For comparing
// with the native programs (bench/frame_bench); the figures depend on the
// machine and its load.
//
//   node web/frame_rate.mjs SITE [chromium] [firefox] [webkit]
import { BROWSERS, cleanUp, launch, open, serve, text } from './test/browser.mjs';

const [site, ...names] = process.argv.slice(2);
try {
  const address = await serve(site);
  for (const name of names.length ? names : BROWSERS) {
    const browser = await launch(name);
    for (const file of ['index.html', 'single.html']) {
      const page = await open(browser, address + file);
      await page.waitFor(() => /FPS/.test(document.getElementById('caption').textContent), 30);
      const rates = [];
      for (let i = 0; i < 4; i++) {
        await new Promise(resolve => setTimeout(resolve, 3000));
        rates.push((await text(page, '#caption')).replace(/.*FPS: /, ''));
      }
      console.log(`${name} ${file}: ${rates.join(' ')} frames per second`);
      await page.close();
    }
  }
} finally {
  await cleanUp();
}
