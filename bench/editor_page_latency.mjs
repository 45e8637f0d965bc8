// How soon the page shows an edit, end to end in a real browser: from the
// click on a spinner's arrow to the new picture's `load` in the sample slot,
// over 20 clicks (each waits for the page to be idle). Prints the median and
// the spread.
//
//   node bench/editor_page_latency.mjs [path/to/plughost]
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { createRequire } from 'node:module';

const here = path.dirname(fileURLToPath(import.meta.url));
process.env.PLUGHOST ??= process.argv[2] ?? path.join(here, '../build/release/bin/plughost');
const require = createRequire(import.meta.url);
const { startServer } = require('../Host/web/tests/server.js');
const { chromium } = require('../Host/web/node_modules/@playwright/test');
const config = require('../Host/web/playwright.config.js');

const server = await startServer();
const browser = await chromium.launch(config.use.launchOptions);
const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];
try {
  const page = await browser.newPage({ viewport: config.use.viewport });
  await page.goto(server.url);
  await page.locator('#preview[data-serial]').waitFor();
  const up = page.getByRole('region', { name: 'Vede Parameters' }).getByRole('button', { name: 'Increase Size' });
  const times = [];
  for (let i = 0; i < 20; ++i) {
    await page.locator('body[aria-busy=false]').waitFor();
    const before = await page.locator('#preview').getAttribute('data-serial');
    // The clock starts in the page at the pointer's press and stops at the
    // load of a picture newer than the one shown.
    await page.evaluate((serial) => {
      window.benchDone = new Promise((resolve) => {
        let start = 0;
        document.addEventListener('pointerdown', () => { start = performance.now(); }, { once: true, capture: true });
        const img = document.getElementById('preview');
        const onLoad = () => {
          if (img.dataset.serial === serial) return;
          img.removeEventListener('load', onLoad);
          resolve(performance.now() - start);
        };
        img.addEventListener('load', onLoad);
        new MutationObserver(() => onLoad()).observe(img, { attributes: true, attributeFilter: ['data-serial'] });
      });
    }, before);
    await up.click();
    times.push(await page.evaluate(() => window.benchDone));
  }
  console.log(`click to picture painted (256x256, ${times.length} clicks): median ${median(times).toFixed(1)} ms, ` +
    `min ${Math.min(...times).toFixed(1)}, max ${Math.max(...times).toFixed(1)}`);
} finally {
  await browser.close();
  await server.stop();
}
