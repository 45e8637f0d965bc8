// Time and animation: with Animate on, an edit away from frame 0 sets a key,
// and scrubbing shows each frame's values in the rollups and the preview.
const { test, expect, hostState, readBack, previewBytes } = require('./fixtures');

test.describe('time and animation', () => {
  test('with Animate on, an edit at frame 10 keys the parameter; frames 0 and 10 read back different values', async ({ editor: page, server }) => {
    const size = page.getByRole('region', { name: 'Vede Parameters' }).getByRole('spinbutton', { name: 'Size' });
    const spinner = () => readBack(page, server, size, 'data-spinner');
    const atZero = (await spinner()).value;

    const animate = page.getByRole('button', { name: 'Animate' });
    await animate.click();
    await expect(animate).toHaveAttribute('aria-pressed', 'true');
    const time = page.getByRole('slider', { name: 'Time' });
    await time.fill('10');
    await expect.poll(async () => {
      const t = (await hostState(page, server)).time;
      return t.ticks / t.ticksPerFrame;
    }).toBe(10);
    await expect(page.locator('#time-text')).toContainText(`frame ${(await hostState(page, server)).time.text}`);

    await size.fill(String(atZero / 2));
    await size.press('Enter');
    await expect.poll(async () => (await spinner()).keyBrackets).toBe(true);
    await expect(page.getByTestId(await size.getAttribute('data-spinner'))).toHaveClass(/keyed/);
    const atTen = (await spinner()).value;
    expect(atTen).not.toBe(atZero);
    const tenPicture = await previewBytes(page);

    // Scrubbing back: the rollup and the preview follow the time.
    await time.fill('0');
    await expect.poll(async () => (await spinner()).value).toBe(atZero);
    await expect(size).toHaveValue((await readBack(page, server, size)).text);
    expect(await previewBytes(page)).not.toBe(tenPicture);
    await time.fill('10');
    await expect.poll(async () => (await spinner()).value).toBe(atTen);
  });
});
