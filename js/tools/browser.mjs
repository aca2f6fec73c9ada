// Serves this package folder (tools/serve.mjs) and opens it in Debian's
// chromium (headless) through puppeteer-core: nothing downloads a browser.
// Used by the browser test and the benchmark.
import puppeteer from 'puppeteer-core';

import { serve } from './serve.mjs';

export const chromiumPath = process.env.CHROMIUM ?? '/usr/bin/chromium';

/** Starts the server and the browser; returns { base, browser, close() }. */
export async function openBrowser() {
  const server = await serve();
  const browser = await puppeteer.launch({
    executablePath: chromiumPath,
    headless: true,
    // root in a container: chromium's sandbox needs user namespaces.
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
  });
  return {
    base: `http://127.0.0.1:${server.address().port}`,
    browser,
    async close() {
      await browser.close();
      await new Promise((resolve) => server.close(resolve));
    },
  };
}
