// Names per second through the package, in Node and in headless Chromium,
// and the module's size and load time. Reads bench/make_data.py's names.txt:
//   node bench/names.mjs [names.txt]   (default ../build/bench/data/names.txt)
// Prints one line per figure; each rate is the best of five rounds of two
// seconds, on one thread.
import { readFileSync, statSync } from 'node:fs';
import { performance } from 'node:perf_hooks';
import { execFileSync } from 'node:child_process';

import { openBrowser } from '../tools/browser.mjs';

const namesPath = process.argv[2] ?? new URL('../../build/bench/data/names.txt', import.meta.url).pathname;
const names = readFileSync(namesPath, 'utf8').split('\n').filter(Boolean);
const modulePath = new URL('../dist/korvi-wasm.mjs', import.meta.url).pathname;

// The timing loop, also sent into the browser as text.
async function rates(names, rounds, seconds) {
  const korvi = await import(globalThis.KORVI_URL);
  const measure = (call) => {
    let best = 0;
    for (let round = 0; round < rounds; ++round) {
      let count = 0;
      const start = performance.now();
      while (performance.now() - start < seconds * 1000) {
        for (let i = 0; i < 1000; ++i) call(names[(count + i) % names.length]);
        count += 1000;
      }
      best = Math.max(best, count / ((performance.now() - start) / 1000));
    }
    return Math.round(best);
  };
  return {
    fingerprint: measure((name) => korvi.fingerprint(name)),
    jsFingerprint: measure((name) => korvi.jsFingerprint(name, 0, 0)),
  };
}

const loadTimes = [];
for (let i = 0; i < 5; ++i) {
  const script = `const t = performance.now(); await import(${JSON.stringify(new URL('../src/korvi.js', import.meta.url).href)}); console.log(performance.now() - t);`;
  loadTimes.push(Number(execFileSync(process.execPath, ['--input-type=module', '-e', script]).toString()));
}
console.log(`module size: ${statSync(modulePath).size} bytes (js/dist/korvi-wasm.mjs, single file)`);
console.log(`load time, Node ${process.version}: ${Math.min(...loadTimes).toFixed(1)} ms (best of 5 fresh processes)`);

globalThis.KORVI_URL = new URL('../src/korvi.js', import.meta.url).href;
const node = await rates(names, 5, 2);
console.log(`Node: fingerprint() ${node.fingerprint} names/s, jsFingerprint() ${node.jsFingerprint} names/s`);

const session = await openBrowser();
try {
  const page = await session.browser.newPage();
  await page.goto(`${session.base}/example/index.html`);
  const load = await page.evaluate(async () => {
    const t = performance.now();
    await import('/src/korvi.js?fresh');
    return performance.now() - t;
  });
  console.log(`load time, Chromium ${await session.browser.version()}: ${load.toFixed(1)} ms`);
  const chromium = await page.evaluate(`globalThis.KORVI_URL = '/src/korvi.js'; (${rates.toString()})`)
    .then(() => page.evaluate(`(${rates.toString()})(${JSON.stringify(names)}, 5, 2)`));
  console.log(`Chromium: fingerprint() ${chromium.fingerprint} names/s, jsFingerprint() ${chromium.jsFingerprint} names/s`);
} finally {
  await session.close();
}
