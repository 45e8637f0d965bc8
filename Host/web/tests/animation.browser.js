// Time and animation: with Animate on, an edit away from frame 0 sets a key,
// and scrubbing shows each frame's values in the rollups and the preview.
const fs = require('node:fs');
const { test, expect, hostState, readBack, previewBytes } = require('./fixtures');
const { startServer, plughost } = require('./server');

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

  test('a perturbation spinner keyed at two frames is marked at its keys and not between them', async ({ editor: page, server }) => {
    await page.getByRole('button', { name: 'Perturbation Parameters', exact: true }).click();
    const size = page.getByRole('region', { name: 'Perturbation Parameters' })
      .getByRole('spinbutton', { name: 'Size (Primary Perturbation Settings)' });
    const spinner = page.getByTestId(await size.getAttribute('data-spinner'));
    const toFrame = async (frame) => {
      await page.getByRole('slider', { name: 'Time' }).fill(String(frame));
      await expect.poll(async () => {
        const t = (await hostState(page, server)).time;
        return t.ticks / t.ticksPerFrame;
      }).toBe(frame);
    };
    await page.getByRole('button', { name: 'Animate' }).click();
    // The first key away from frame 0 keys frame 0 too: keys at 0, 20 and 40.
    for (const [frame, value] of [[20, '3.0'], [40, '5.0']]) {
      await toFrame(frame);
      await expect(spinner).not.toHaveClass(/keyed/);
      await size.fill(value);
      await size.press('Enter');
      await expect(spinner).toHaveClass(/keyed/);
    }
    for (const [frame, keyed] of [[30, false], [20, true], [10, false], [0, true]]) {
      await toFrame(frame);
      if (keyed) await expect(spinner).toHaveClass(/keyed/);
      else await expect(spinner).not.toHaveClass(/keyed/);
      expect((await readBack(page, server, size, 'data-spinner')).keyBrackets, `frame ${frame}`).toBe(keyed);
    }
  });

  test('a click at a quarter of the slider lands on frame 25 of 0-100', async ({ editor: page, server }) => {
    const time = page.getByRole('slider', { name: 'Time' });
    const box = await time.boundingBox();
    await page.mouse.click(box.x + box.width * 0.25, box.y + box.height / 2);
    await expect.poll(async () => {
      const t = (await hostState(page, server)).time;
      return t.ticks / t.ticksPerFrame;
    }).toBe(25);
  });

  test('the slider spans the scene\'s animation range; the bump amount set in the page is saved', async ({ page }, testInfo) => {
    const file = testInfo.outputPath('range.json');
    require('node:child_process').execFileSync(plughost, ['scene', 'new', file, '--class', 'Vede']);
    const scene = JSON.parse(fs.readFileSync(file, 'utf8'));
    scene.settings = { animationStart: 10, animationEnd: 50 };
    fs.writeFileSync(file, JSON.stringify(scene));
    const server = await startServer([file]);
    try {
      await page.goto(server.url);
      const time = page.getByRole('slider', { name: 'Time' });
      await expect(time).toHaveAttribute('min', '10');
      await expect(time).toHaveAttribute('max', '50');
      await page.locator('#bump-amount').fill('60');
      await expect(page).toHaveTitle(/^● /);
      await page.getByRole('button', { name: 'Save', exact: true }).click();
      await expect(page).toHaveTitle(/^range\.json/);
      const saved = JSON.parse(fs.readFileSync(file, 'utf8'));
      expect(saved.settings).toEqual({ animationStart: 10, animationEnd: 50, bumpAmount: 60 });
    } finally {
      expect((await server.stop()).code).toBe(0);
    }
  });
});
