// Gestures on the rollups: each one becomes a host action, and the page shows
// what the host reads back afterwards, with a new picture in the sample slot.
const { test, expect, hostState, readBack, previewBytes } = require('./fixtures');
const { startServer } = require('./server');

test.describe('editing', () => {
  test('dragging a spinner and typing a value change the parameter and the preview', async ({ editor: page, server }) => {
    const vede = page.getByRole('region', { name: 'Vede Parameters' });
    const size = vede.getByRole('spinbutton', { name: 'Size' });
    const spinner = () => readBack(page, server, size, 'data-spinner');
    const start = await spinner();
    const picture = await previewBytes(page);

    // Held on the up arrow and dragged up 20 pixels: 20 steps of the spinner's
    // scale, sent as one action or several as the server keeps up (each adds
    // in single precision, so the sum is counted in steps).
    const up = vede.getByRole('button', { name: 'Increase Size' });
    const box = await up.boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await page.mouse.down();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2 - 20, { steps: 5 });
    await page.mouse.up();
    await expect.poll(async () => Math.round(((await spinner()).value - start.value) / start.scale)).toBe(20);
    await expect(size).toHaveValue((await readBack(page, server, size)).text);
    expect((await hostState(page, server)).dirty).toBe(true);  // the scene's parameter changed
    expect(await previewBytes(page)).not.toBe(picture);
    // Coarse pictures follow the hand; the full one comes when it lets go.
    expect(await page.locator('#preview').evaluate((img) => img.naturalWidth)).toBe(256);

    // Typed and entered: the host takes the number.
    const dragPicture = await previewBytes(page);
    await size.fill('4');
    await size.press('Enter');
    await expect.poll(async () => (await spinner()).value).toBe(4);
    await expect(size).toHaveValue((await readBack(page, server, size)).text);
    expect(await previewBytes(page)).not.toBe(dragPicture);
    await expect(page).toHaveTitle(/^● /);

    // Not a number: the field shows the host's value again.
    await size.fill('lots');
    await size.press('Enter');
    await expect(size).toHaveValue((await readBack(page, server, size)).text);
  });

  test('a colour picked in the swatch reaches the host and the preview', async ({ editor: page, server }) => {
    const swatch = page.getByRole('region', { name: 'Vede Parameters' }).getByLabel('Vede Color');
    const picture = await previewBytes(page);
    await swatch.fill('#c06020');
    await expect.poll(async () => (await readBack(page, server, swatch)).color).toBe('#c06020');
    await expect(swatch).toHaveValue('#c06020');
    expect(await previewBytes(page)).not.toBe(picture);
  });

  test('the map button opens a chooser; the checker shows its name and changes the preview', async ({ editor: page, server }) => {
    const vede = page.getByRole('region', { name: 'Vede Parameters' });
    const rollup = (await hostState(page, server)).editor.rollups.find((r) => r.title === 'Vede Parameters');
    const button = rollup.controls.find((c) => c.role === 'button');
    const mapButton = vede.getByTestId(`Vede Parameters:${button.id}`);
    await expect(mapButton).toHaveText(button.text);
    const picture = await previewBytes(page);

    await mapButton.click();
    const chooser = page.getByRole('dialog', { name: 'Choose a map' });
    await expect(chooser).toBeVisible();
    // A file that is not there: the host's reason, and the chooser stays.
    await chooser.getByLabel(/PNG file/).fill('/nonexistent/dirt.png');
    await chooser.getByRole('button', { name: 'Use file' }).click();
    await expect(chooser.getByRole('alert')).toContainText('/nonexistent/dirt.png');
    await chooser.getByRole('button', { name: 'Checker' }).click();
    await expect(chooser).toBeHidden();

    await expect.poll(async () => (await readBack(page, server, mapButton)).text).toMatch(/Checker/);
    await expect(mapButton).toHaveText((await readBack(page, server, mapButton)).text);
    expect(await previewBytes(page)).not.toBe(picture);
  });

  test('the map button goes down into a checker, Go to Parent comes back; the navigator shows the tree and the change is saved', async ({ editor: page, server }, testInfo) => {
    const file = testInfo.outputPath('tree.json');
    const vede = page.getByRole('region', { name: 'Vede Parameters' });
    const rollup = (await hostState(page, server)).editor.rollups.find((r) => r.title === 'Vede Parameters');
    const mapButton = vede.getByTestId(`Vede Parameters:${rollup.controls.find((c) => c.role === 'button').id}`);
    const nav = page.getByRole('navigation', { name: 'Map tree' });
    await expect(nav.locator('li')).toHaveCount(1);  // the root alone
    await expect(nav.getByRole('button', { name: 'Go to Parent' })).toBeDisabled();
    await expect(nav.getByRole('button', { name: 'Replace map…' })).toBeDisabled();

    await mapButton.click();
    await page.getByRole('dialog', { name: 'Choose a map' }).getByRole('button', { name: 'Checker' }).click();
    await expect(mapButton).toHaveText(/Checker/);
    await mapButton.click();  // the slot holds a map now: its rollups come
    const checker = page.getByRole('region', { name: 'Checker Parameters' });
    await expect(checker).toBeVisible();
    await expect(vede).toBeHidden();
    await expect(nav.locator('[aria-current]')).toContainText('Checker');
    await expect(nav.locator('li')).toHaveText([/Vede/, /Checker/]);

    const swatch = checker.getByLabel('Color 1');
    await swatch.fill('#ff0000');
    await expect.poll(async () => (await readBack(page, server, swatch)).color).toBe('#ff0000');
    await nav.getByRole('button', { name: 'Go to Parent' }).click();
    await expect(vede).toBeVisible();
    await expect(nav.locator('[aria-current]')).toContainText('Vede');

    // Down again, and the checker replaced by another Vede through its button.
    await mapButton.click();
    await nav.getByRole('button', { name: 'Replace map…' }).click();
    await page.getByRole('dialog', { name: 'Choose a map' }).getByRole('button', { name: 'Vede', exact: true }).click();
    await expect(nav.locator('li')).toHaveText([/Vede/, /Vede/]);
    await expect(vede).toBeVisible();
    await mapButton.click();
    await nav.getByRole('button', { name: 'Replace map…' }).click();
    await page.getByRole('dialog', { name: 'Choose a map' }).getByRole('button', { name: 'Checker' }).click();
    await expect(nav.locator('li')).toHaveText([/Vede/, /Checker/]);
    await nav.getByRole('button', { name: /Checker/ }).click();
    await checker.getByLabel('Color 1').fill('#ff0000');
    await expect.poll(async () => (await readBack(page, server, checker.getByLabel('Color 1'))).color).toBe('#ff0000');
    await nav.getByRole('button', { name: 'Go to Parent' }).click();

    await page.getByRole('button', { name: 'Save as…' }).click();
    const dialog = page.getByRole('dialog', { name: 'Save the scene as' });
    await dialog.getByLabel(/Scene file/).fill(file);
    await dialog.getByRole('button', { name: 'Save' }).click();
    await expect(dialog).toBeHidden();

    // The saved scene, opened again: the checker keeps its colour.
    const again = await startServer([file]);
    try {
      const other = await page.context().newPage();
      await other.goto(again.url);
      const otherNav = other.getByRole('navigation', { name: 'Map tree' });
      await otherNav.getByRole('button', { name: /Checker/ }).click();
      await expect(other.getByRole('region', { name: 'Checker Parameters' }).getByLabel('Color 1')).toHaveValue('#ff0000');
    } finally {
      expect((await again.stop()).code).toBe(0);
    }
  });
});
