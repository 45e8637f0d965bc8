// Browser tests of the editor page: Debian's chromium (never a downloaded
// browser), a fresh profile for every run, one plughost serve per test.
const { defineConfig } = require('@playwright/test');

module.exports = defineConfig({
  testDir: './tests',
  testMatch: '*.browser.js',
  // Generous: the machine's two cores are often shared with other work.
  timeout: 120_000,
  expect: { timeout: 30_000 },
  workers: 1,
  reporter: [['list']],
  outputDir: process.env.EDITOR_TEST_OUTPUT || 'test-results',
  use: {
    browserName: 'chromium',
    viewport: { width: 1280, height: 900 },
    launchOptions: {
      executablePath: '/usr/bin/chromium',
      // Playwright gives every launch a new, empty user-data-dir of its own.
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    },
  },
});
