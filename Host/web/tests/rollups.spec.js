// The four rollups of the material editor and the utility panel, drawn from
// the host's read-back of its windows.
const { test, expect, hostState, flatControls } = require('./fixtures');

// What a control's element shows, as the host reads it back.
async function expectDrawnAsReadBack(region, rollup, pageBox) {
  const controls = flatControls(rollup);
  await expect(region.locator('.control')).toHaveCount(controls.length);
  for (const c of controls) {
    const el = region.getByTestId(c.id > 0 ? `${rollup.title}:${c.id}` : `${rollup.title}:${c.hwnd}`);
    if (!c.visible) {
      await expect(el).toBeHidden();
      continue;
    }
    await expect(el).toBeVisible();
    const box = await el.boundingBox();
    const at = { x: Math.round(box.x - pageBox.x), y: Math.round(box.y - pageBox.y), w: Math.round(box.width), h: Math.round(box.height) };
    expect(at, `${rollup.title} ${c.cls} ${c.id} "${c.text}"`).toEqual(c.rect);
    if (['label', 'link', 'check', 'radio', 'push', 'button'].includes(c.role) && c.text) await expect(el).toHaveText(c.text);
    if (c.role === 'edit') await expect(el).toHaveValue(c.text);
    if (c.role === 'swatch') await expect(el).toHaveValue(c.color);
    if (c.role === 'check' || c.role === 'radio') await expect(el.locator('input')).toBeChecked({ checked: c.check === 1 });
    if (c.font) await expect(el).toHaveCSS('font-weight', String(c.font.weight));
    if (c.role === 'edit' || c.role === 'button') {
      if (c.enabled) await expect(el).toBeEnabled();
      else await expect(el).toBeDisabled();
    }
  }
}

test.describe('material editor rollups', () => {
  test('every control of the four rollups is drawn at the place, with the text, font and state the host reads back', async ({ editor: page, server }, testInfo) => {
    // The perturbation rollup starts rolled up, as the host adds it.
    const perturbTitle = page.getByRole('button', { name: 'Perturbation Parameters', exact: true });
    await expect(perturbTitle).toHaveAttribute('aria-expanded', 'false');
    await perturbTitle.click();
    await expect(perturbTitle).toHaveAttribute('aria-expanded', 'true');

    const state = await hostState(page, server);
    expect(state.editor.rollups).toHaveLength(4);
    for (const rollup of state.editor.rollups) {
      expect(rollup.open, rollup.title).toBe(true);
      const region = page.getByRole('region', { name: rollup.title });
      await expect(region).toBeVisible();
      const pageBox = await region.boundingBox();
      const panelBox = await page.locator('#rollups').boundingBox();
      // The page where the host stacked it: rollup place plus page place.
      expect(Math.round(pageBox.y - panelBox.y)).toBe(rollup.rect.y + rollup.page.y);
      expect(Math.round(pageBox.width)).toBe(rollup.page.w);
      await expectDrawnAsReadBack(region, rollup, pageBox);
    }

    // The picture for the README: every rollup open, the sphere in the slot.
    await page.getByLabel('View').selectOption('sphere');
    await expect(page.locator('#preview-note')).toHaveText(/^sphere, color · \d+ ms$/);
    await page.screenshot({ path: process.env.EDITOR_SCREENSHOT || testInfo.outputPath('editor.png'), fullPage: true });
  });

  test('a rollup rolls up and opens again as in the host', async ({ editor: page, server }) => {
    const title = page.getByRole('button', { name: 'Coordinates', exact: true });
    await title.click();
    await expect(title).toHaveAttribute('aria-expanded', 'false');
    await expect(page.getByRole('region', { name: 'Coordinates' })).toBeHidden();
    let state = await hostState(page, server);
    expect(state.editor.rollups.find((r) => r.title === 'Coordinates').open).toBe(false);
    // The rollups below move up to where the host stacks them now.
    const vede = state.editor.rollups.find((r) => r.title === 'Vede Parameters');
    const panelBox = await page.locator('#rollups').boundingBox();
    await expect.poll(async () => Math.round((await page.getByRole('region', { name: 'Vede Parameters' }).boundingBox()).y - panelBox.y))
      .toBe(vede.rect.y + vede.page.y);
    await title.click();
    await expect(page.getByRole('region', { name: 'Coordinates' })).toBeVisible();
    state = await hostState(page, server);
    expect(state.editor.rollups.find((r) => r.title === 'Coordinates').open).toBe(true);
  });

  test('the About rollup shows the logo from the resource, and its link opens the maker\'s site in a new tab', async ({ editor: page, server }) => {
    const state = await hostState(page, server);
    const about = state.editor.rollups.find((r) => r.title === 'About');
    const controls = flatControls(about);
    const logo = controls.find((c) => c.role === 'image');
    const logoEl = page.getByTestId(`About:${logo.id}`);
    await expect.poll(() => logoEl.evaluate((img) => [img.complete, img.naturalWidth, img.naturalHeight]))
      .toEqual([true, logo.image.w, logo.image.h]);

    // The address the plug-in hands to the shell; no network: the tab is answered here.
    const link = controls.find((c) => c.role === 'link' && /http:\/\//.test(c.text));
    const address = link.text.match(/http:\/\/\S+/)[0];
    await page.context().route(`${address}/**`, (route) => route.fulfill({ contentType: 'text/html', body: '<title>maker</title>' }));
    const opened = page.waitForEvent('popup');
    await page.getByRole('link', { name: link.text }).click();
    const tab = await opened;
    await expect(tab).toHaveURL(`${address}/`);
  });

  test('the info utility shows on the Utilities tab', async ({ editor: page, server }) => {
    await page.getByRole('tab', { name: 'Utilities' }).click();
    await expect(page.getByRole('tabpanel', { name: 'Utilities' })).toBeVisible();
    await expect.poll(async () => (await hostState(page, server)).utility?.rollups.length ?? 0).toBeGreaterThan(0);
    const { utility } = await hostState(page, server);
    for (const rollup of utility.rollups) {
      const region = page.getByRole('region', { name: rollup.title });
      await expect(region).toBeVisible();
      await expectDrawnAsReadBack(region, rollup, await region.boundingBox());
    }
  });
});
