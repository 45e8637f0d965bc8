// What every browser test starts from: a server of its own and the page open
// on it, with the host's read-back at hand to compare the page with.
const base = require('@playwright/test');
const { startServer } = require('./server');

const test = base.test.extend({
  serverArgs: [[], { option: true }],
  server: async ({ serverArgs }, use) => {
    const server = await startServer(serverArgs);
    await use(server);
    const { code } = await server.stop();
    base.expect(code, server.output()).toBe(0);
  },
  editor: async ({ page, server }, use) => {
    await page.goto(server.url);
    await base.expect(page.getByRole('region', { name: 'Vede Parameters' })).toBeVisible();
    await base.expect(page.locator('#preview')).toHaveAttribute('data-serial', /\d+/);
    await use(page);
  },
});

// The host's read-back of every window, through the page's own session.
async function hostState(page, server) {
  const res = await page.request.get(`${server.origin}/api/state`);
  base.expect(res.ok()).toBeTruthy();
  return res.json();
}

// The controls of a rollup, child windows after their parents, with their
// rectangles relative to the page.
function flatControls(rollup) {
  const out = [];
  (function walk(list, dx, dy) {
    for (const c of list) {
      out.push({ ...c, rect: { ...c.rect, x: c.rect.x + dx, y: c.rect.y + dy } });
      walk(c.children, dx + c.rect.x, dy + c.rect.y);
    }
  })(rollup.controls, 0, 0);
  return out;
}

// The host's read-back, now, of the control an element draws: its test id
// (or another attribute holding a control's "TITLE:ID") names it.
async function readBack(page, server, locator, attribute = 'data-testid') {
  const ref = await locator.getAttribute(attribute);
  const colon = ref.lastIndexOf(':');
  const state = await hostState(page, server);
  const rollup = state.editor.rollups.find((r) => r.title === ref.slice(0, colon));
  return flatControls(rollup).find((c) => c.id === Number(ref.slice(colon + 1)));
}

// A fingerprint of the picture the sample slot shows, from its pixels, once
// the page has nothing more on its way (every action answered, the newest
// picture drawn).
async function previewBytes(page) {
  await base.expect(page.locator('body')).toHaveAttribute('aria-busy', 'false');
  return page.evaluate(() => {
    const img = document.getElementById('preview');
    const canvas = document.createElement('canvas');
    canvas.width = img.naturalWidth;
    canvas.height = img.naturalHeight;
    const g = canvas.getContext('2d');
    g.drawImage(img, 0, 0);
    const data = g.getImageData(0, 0, canvas.width, canvas.height).data;
    let sum = 0;
    for (let i = 0; i < data.length; ++i) sum = (sum * 31 + data[i]) >>> 0;
    return sum;
  });
}

module.exports = { test, expect: base.expect, hostState, flatControls, readBack, previewBytes };
