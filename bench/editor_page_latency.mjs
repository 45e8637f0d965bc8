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
  // A 30-pixel drag up over about a second: the pictures painted while the
  // hand moves, and when the full picture of the last value came.
  const box = await up.boundingBox();
  await page.locator('body[aria-busy=false]').waitFor();
  await page.evaluate(() => {
    window.benchLoads = [];
    document.getElementById('preview').addEventListener('load', (e) =>
      window.benchLoads.push([performance.now(), e.target.naturalWidth]));
    window.benchStart = performance.now();
  });
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await page.mouse.down();
  for (let y = 1; y <= 30; ++y) {
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2 - y);
    await page.waitForTimeout(33);
  }
  const moved = await page.evaluate(() => performance.now());
  await page.mouse.up();
  await page.locator('body[aria-busy=false]').waitFor();
  const [loads, start] = await page.evaluate(() => [window.benchLoads, window.benchStart]);
  const during = loads.filter(([t]) => t <= moved).length;
  const last = loads[loads.length - 1];
  console.log(`drag of 30 px over ${((moved - start) / 1000).toFixed(2)} s: ${during} pictures while moving ` +
    `(${(during / ((moved - start) / 1000)).toFixed(1)} a second), the full ${last[1]}x${last[1]} one ` +
    `${(last[0] - start).toFixed(0)} ms after the drag began`);
  console.log(`click to picture painted (256x256, ${times.length} clicks): median ${median(times).toFixed(1)} ms, ` +
    `min ${Math.min(...times).toFixed(1)}, max ${Math.max(...times).toFixed(1)}`);
} finally {
  await browser.close();
  await server.stop();
}
