// Names per second through the package, in Node and in headless Chromium,
// next to the native library's on the same names (korvi_bench, built by
// bench/run.sh or with -DKORVI_BUILD_BENCH=ON, if present), and the module's
// size and load time. Reads bench/make_data.py's names.txt:
//   node bench/names.mjs [names.txt]   (default ../build/bench/data/names.txt)
// Each rate is the best of five rounds of two seconds on one thread, by the
// wall clock, and also by CPU time (Node's process, the native benchmark's,
// Chromium's page thread), which a busy machine disturbs less.
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
  const cpu = () => (typeof process === 'object' ? process.cpuUsage().user / 1e6 : NaN);
  const measure = (call) => {
    let best = 0, bestCpu = 0;
    for (let round = 0; round < rounds; ++round) {
      let count = 0;
      const start = performance.now(), startCpu = cpu();
      while (performance.now() - start < seconds * 1000) {
        for (let i = 0; i < 1000; ++i) call(names[(count + i) % names.length]);
        count += 1000;
      }
      best = Math.max(best, count / ((performance.now() - start) / 1000));
      bestCpu = Math.max(bestCpu, count / (cpu() - startCpu));
    }
    return `${Math.round(best)}` + (Number.isNaN(bestCpu) ? '' : ` (CPU time: ${Math.round(bestCpu)})`);
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

const bench = new URL('../../build/bench/bench/korvi_bench', import.meta.url).pathname;
for (const kernel of ['', 'scalar']) {
  try {
    const run = JSON.parse(execFileSync(bench, [
      '--benchmark_filter=BM_FingerprintNames$', '--benchmark_min_time=2', '--benchmark_repetitions=5',
      '--benchmark_format=json'], { env: { ...process.env, KORVI_BENCH_DATA: namesPath.replace(/\/[^/]*$/, ''),
                                           KORVI_SHA512: kernel } }).toString());
    const runs = run.benchmarks.filter((b) => b.run_type === 'iteration');
    const best = (key) => Math.round(Math.max(...runs.map((b) => 1e9 / b[key])));
    console.log(`native (${kernel || 'default kernel'}): fingerprint() ${best('real_time')} names/s (CPU time: ${best('cpu_time')})`);
  } catch (error) {
    console.log(`native: ${bench} did not run (${error.message.split('\n')[0]})`);
  }
}

const session = await openBrowser();
try {
  const page = await session.browser.newPage();
  await page.goto(`${session.base}/package.json`);  // same origin, nothing loaded yet
  const load = await page.evaluate(async () => {
    const t = performance.now();
    await import('/src/korvi.js');
    return performance.now() - t;
  });
  console.log(`load time, Chromium ${await session.browser.version()}: ${load.toFixed(1)} ms`);
  const chromium = await page.evaluate(`globalThis.KORVI_URL = '/src/korvi.js'; (${rates.toString()})`)
    .then(() => page.evaluate(`(${rates.toString()})(${JSON.stringify(names)}, 5, 2)`));
  // CPU time of the page's main thread (DevTools' ThreadTime), around fixed runs.
  const client = await page.createCDPSession();
  await client.send('Performance.enable', { timeDomain: 'threadTicks' });
  const threadTime = async () => (await client.send('Performance.getMetrics')).metrics
    .find((metric) => metric.name === 'ThreadTime').value;
  await page.evaluate((names) => { globalThis.names = names; }, names);
  const cpuRate = async (call) => {
    let best = 0;
    for (let round = 0; round < 5; ++round) {
      const before = await threadTime();
      await page.evaluate(`(async () => { const korvi = await import('/src/korvi.js');
        for (let i = 0; i < 100000; ++i) korvi.${call}(names[i % names.length]); })()`);
      best = Math.max(best, 100000 / ((await threadTime()) - before));
    }
    return Math.round(best);
  };
  console.log(`Chromium: fingerprint() ${chromium.fingerprint} (CPU time: ${await cpuRate('fingerprint')}) names/s, ` +
              `jsFingerprint() ${chromium.jsFingerprint} (CPU time: ${await cpuRate('jsFingerprint')}) names/s`);
} finally {
  await session.close();
}
