// The scene: Save, Save as, Revert, the title's mark of unsaved changes, and
// a question before a page with unsaved changes closes.
const fs = require('node:fs');
const { test, expect, readBack } = require('./fixtures');
const { startServer } = require('./server');

async function sizeField(page) {
  return page.getByRole('region', { name: 'Vede Parameters' }).getByRole('spinbutton', { name: 'Size' });
}

test.describe('scene', () => {
  test('Save as writes the scene; a new server on that file shows the saved values', async ({ editor: page, server }, testInfo) => {
    const file = testInfo.outputPath('dirt.json');
    const size = await sizeField(page);
    await size.fill('4');
    await size.press('Enter');
    await expect(page).toHaveTitle(/^● Untitled/);
    await expect(page.locator('#file')).toContainText('unsaved changes');

    // Never saved: Save asks where.
    await page.getByRole('button', { name: 'Save', exact: true }).click();
    const dialog = page.getByRole('dialog', { name: 'Save the scene as' });
    await dialog.getByLabel(/Scene file/).fill(file);
    await dialog.getByRole('button', { name: 'Save' }).click();
    await expect(dialog).toBeHidden();
    await expect(page).toHaveTitle(/^dirt\.json/);
    expect(fs.existsSync(file)).toBe(true);
    const savedText = (await readBack(page, server, size)).text;

    const again = await startServer([file]);
    try {
      const other = await page.context().newPage();
      await other.goto(again.url);
      await expect(await sizeField(other)).toHaveValue(savedText);
      await expect(other).toHaveTitle(/^dirt\.json/);
    } finally {
      expect((await again.stop()).code).toBe(0);
    }
  });

  test('Revert goes back to the file; closing the page with unsaved changes asks first', async ({ page }, testInfo) => {
    const file = testInfo.outputPath('dirt.json');
    const { plughost } = require('./server');
    require('node:child_process').execFileSync(plughost, ['scene', 'new', file, '--class', 'Vede']);
    const server = await startServer([file]);
    try {
      await page.goto(server.url);
      const size = await sizeField(page);
      const original = await size.inputValue();
      await size.fill('7');
      await size.press('Enter');
      await expect(page).toHaveTitle(/^● dirt\.json/);

      page.once('dialog', (d) => d.accept());  // "Discard the unsaved changes?"
      await page.getByRole('button', { name: 'Revert' }).click();
      await expect(size).toHaveValue(original);
      await expect(page).toHaveTitle(/^dirt\.json/);

      await size.fill('7');
      await size.press('Enter');
      await expect(page).toHaveTitle(/^● /);
      const asked = new Promise((resolve) => page.once('dialog', (d) => { resolve(d.type()); d.dismiss(); }));
      await page.close({ runBeforeUnload: true });
      expect(await asked).toBe('beforeunload');
    } finally {
      expect((await server.stop()).code).toBe(0);
    }
  });
});
