// The four rollups of the material editor and the utility panel, drawn from
// the host's read-back of its windows.
const { test, expect, hostState, flatControls } = require('./fixtures');

// Every control of a rollup drawn as the host reads it back: one element per
// window, at the window's rectangle within the page, with its text, value,
// check, font weight, enabled state and visibility. (Read in one sweep of the
// page: a round trip per control and property would take minutes.)
async function expectDrawnAsReadBack(region, rollup) {
  const controls = flatControls(rollup);
  await expect(region.locator('.control')).toHaveCount(controls.length);
  const drawn = await region.evaluate((page) => {
    const base = page.getBoundingClientRect();
    const out = {};
    for (const el of page.querySelectorAll('.control')) {
      const b = el.getBoundingClientRect();
      const input = el.matches('input, button') ? el : el.querySelector('input');
      out[el.dataset.testid] = {
        visible: el.checkVisibility(),
        rect: { x: Math.round(b.x - base.x), y: Math.round(b.y - base.y), w: Math.round(b.width), h: Math.round(b.height) },
        text: el.matches('input') ? el.value : el.textContent,
        checked: input ? input.checked : undefined,
        enabled: input ? !input.disabled : !el.classList.contains('disabled'),
        weight: getComputedStyle(el).fontWeight,
      };
    }
    return out;
  });
  for (const c of controls) {
    const id = c.id > 0 ? `${rollup.title}:${c.id}` : `${rollup.title}:${c.hwnd}`;
    const what = `${rollup.title} ${c.cls} ${c.id} "${c.text}"`;
    const el = drawn[id];
    expect(el, what).toBeDefined();
    expect(el.visible, what).toBe(c.visible);
    if (!c.visible) continue;
    expect(el.rect, what).toEqual(c.rect);
    expect(el.enabled, what).toBe(c.enabled);
    if (['label', 'link', 'check', 'radio', 'push', 'button', 'edit'].includes(c.role)) expect(el.text, what).toBe(c.text);
    if (c.role === 'swatch') expect(el.text, what).toBe(c.color);
    if (c.role === 'check' || c.role === 'radio') expect(el.checked, what).toBe(c.check === 1);
    if (c.font) expect(el.weight, what).toBe(String(c.font.weight));
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
      await expectDrawnAsReadBack(region, rollup);
    }

    // A host map's rollup, drawn from its template alike, below the navigator.
    const vede = state.editor.rollups.find((r) => r.title === 'Vede Parameters');
    const mapButton = page.getByTestId(`Vede Parameters:${flatControls(vede).find((c) => c.role === 'button').id}`);
    await mapButton.click();
    await page.getByRole('dialog', { name: 'Choose a map' }).getByRole('button', { name: 'Checker' }).click();
    await expect(mapButton).toHaveText(/Checker/);
    await mapButton.click();
    const checker = page.getByRole('region', { name: 'Checker Parameters' });
    await expect(checker).toBeVisible();
    const checkerRollup = (await hostState(page, server)).editor.rollups.find((r) => r.title === 'Checker Parameters');
    await expectDrawnAsReadBack(checker, checkerRollup);

    // The picture for the README: the navigator, a sub-map's rollups, the sphere in the slot.
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
    // Only one panel at a time: the editor's goes, and comes back with its tab.
    await expect(page.locator('#editor-panel')).toBeHidden();
    await page.getByRole('tab', { name: 'Material Editor' }).click();
    await expect(page.locator('#editor-panel')).toBeVisible();
    await expect(page.locator('#utilities-panel')).toBeHidden();
    await page.getByRole('tab', { name: 'Utilities' }).click();
    await expect.poll(async () => (await hostState(page, server)).utility?.rollups.length ?? 0).toBeGreaterThan(0);
    const { utility } = await hostState(page, server);
    for (const rollup of utility.rollups) {
      const region = page.getByRole('region', { name: rollup.title });
      await expect(region).toBeVisible();
      await expectDrawnAsReadBack(region, rollup);
    }
  });
});
