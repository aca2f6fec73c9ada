// Names per second through the package, in Node and in headless Chromium,
// next to the native library's on the same names (korvi_bench, built by
// bench/run.sh or with -DKORVI_BUILD_BENCH=ON, if present), and the module's
// size and load time. Reads bench/make_data.py's names.txt:
//   node bench/names.mjs [names.txt] [cycles]   (default ../build/bench/data/names.txt, 3)
// The three run interleaved, in cycles (Node, native, Chromium), so that a
// machine whose load changes disturbs them alike. In each cycle a rate is
// the best of three rounds of 1.5 seconds on one thread, by the wall clock
// and by CPU time: a fresh Node process's (all its threads; it holds only
// the package and the names), the native benchmark's, the Chromium renderer
// process's (all its threads, from /proc). Ratios to native are per
// CPU-second, which a busy machine disturbs less, and like for like: a call
// per name against the native fingerprint(), fingerprintMany() against the
// native korvi_fingerprint_many() with a thousand names per call.
import { readFileSync, readdirSync, statSync } from 'node:fs';
import { performance } from 'node:perf_hooks';
import { execFileSync } from 'node:child_process';

import { openBrowser } from '../tools/browser.mjs';

const namesPath = process.argv[2] || new URL('../../build/bench/data/names.txt', import.meta.url).pathname;
const cycles = Number(process.argv[3] ?? 3);
const names = readFileSync(namesPath, 'utf8').split('\n').filter(Boolean);
const modulePath = new URL('../dist/korvi-wasm.mjs', import.meta.url).pathname;
const ROUNDS = 3;
const SECONDS = 1.5;
const BATCH = 1000;

// One round of one way of calling, in Node or (sent as text) in the page:
// names fingerprinted in about `seconds`, and the wall-clock seconds taken.
async function round(how, seconds) {
  const korvi = await import(globalThis.KORVI_URL);
  const names = globalThis.benchNames;
  if (!globalThis.benchBatches) {
    globalThis.benchBatches = [];
    for (let i = 0; i + 1000 <= names.length; i += 1000) globalThis.benchBatches.push(names.slice(i, i + 1000));
  }
  const batches = globalThis.benchBatches;
  const blocks = {
    fingerprint: (from) => { for (let i = 0; i < 1000; ++i) korvi.fingerprint(names[(from + i) % names.length]); },
    jsFingerprint: (from) => { for (let i = 0; i < 1000; ++i) korvi.jsFingerprint(names[(from + i) % names.length], 0, 0); },
    fingerprintMany: (from) => { korvi.fingerprintMany(batches[(from / 1000) % batches.length]); },
  };
  if (typeof korvi[how] !== 'function') return null;  // an older package
  const block = blocks[how];
  let count = 0;
  const start = performance.now();
  while (performance.now() - start < seconds * 1000) {
    block(count);
    count += 1000;
  }
  return { count, wall: (performance.now() - start) / 1000 };
}

const WAYS = ['fingerprint', 'fingerprintMany', 'jsFingerprint'];

// Best rates of ROUNDS rounds of each way: { way: { wall, cpu } }. runRound
// answers { count, wall, cpu } (seconds).
async function rates(runRound) {
  const best = {};
  for (const way of WAYS) {
    best[way] = { wall: 0, cpu: 0 };
    for (let r = 0; r < ROUNDS; ++r) {
      const measured = await runRound(way);
      if (measured === null) {
        best[way] = null;
        break;
      }
      const { count, wall, cpu } = measured;
      best[way].wall = Math.max(best[way].wall, count / wall);
      best[way].cpu = Math.max(best[way].cpu, count / cpu);
    }
  }
  return best;
}

async function nodeRound(way) {
  const before = process.cpuUsage();
  const measured = await round(way, SECONDS);
  const usage = process.cpuUsage(before);
  return measured && { ...measured, cpu: (usage.user + usage.system) / 1e6 };
}

// CPU seconds of each Chromium renderer process under the browser's pid.
const TICKS = 100;  // USER_HZ
function rendererCpu(browserPid) {
  const cpu = new Map();
  for (const pid of readdirSync('/proc')) {
    if (!/^\d+$/.test(pid)) continue;
    try {
      if (!readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes('--type=renderer')) continue;
      let parent = pid;  // renderers hang below the zygote, below the browser
      for (let up = 0; up < 4 && parent !== String(browserPid) && parent !== '0'; ++up) {
        const stat = readFileSync(`/proc/${parent}/stat`, 'utf8');
        parent = stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1];
      }
      if (parent !== String(browserPid)) continue;
      const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      cpu.set(pid, (Number(fields[11]) + Number(fields[12])) / TICKS);
    } catch {
      // a process that ended meanwhile
    }
  }
  return cpu;
}

// The native library's names per second, one call per name (fingerprint(),
// beside the package's fingerprint() and jsFingerprint()) and a thousand
// names per call (korvi_fingerprint_many, beside fingerprintMany()).
function nativeFor(native, way) {
  return way === 'fingerprintMany' ? native.many : native.one;
}

function nativeRate() {
  const bench = new URL('../../build/bench/bench/korvi_bench', import.meta.url).pathname;
  try {
    const run = JSON.parse(execFileSync(bench, [
      '--benchmark_filter=BM_FingerprintNames$|BM_FingerprintManyNames$', `--benchmark_min_time=${SECONDS}`,
      `--benchmark_repetitions=${ROUNDS}`, '--benchmark_format=json'],
    { env: { ...process.env, KORVI_BENCH_DATA: namesPath.replace(/\/[^/]*$/, '') } }).toString());
    // items_per_second is per CPU-second; the wall clock's rate scales it.
    const rate = (name) => {
      const runs = run.benchmarks.filter((b) => b.run_type === 'iteration' && b.run_name === name);
      return {
        wall: Math.max(...runs.map((b) => b.items_per_second * b.cpu_time / b.real_time)),
        cpu: Math.max(...runs.map((b) => b.items_per_second)),
      };
    };
    return { one: rate('BM_FingerprintNames'), many: rate('BM_FingerprintManyNames') };
  } catch (error) {
    console.log(`native: ${bench} did not run (${error.message.split('\n')[0]})`);
    return null;
  }
}

// Node's rounds run in a process of their own: in this one, which holds
// the browser's connection, fingerprintMany() ran a third slower (its
// collector threads worked harder), which no user's process would see.
const NODE_ROUNDS = 'KORVI_BENCH_NODE_ROUNDS';
if (process.env[NODE_ROUNDS]) {
  globalThis.KORVI_URL = new URL('../src/korvi.js', import.meta.url).href;
  globalThis.benchNames = names;
  console.log(JSON.stringify(await rates(nodeRound)));
  process.exit(0);
}

function nodeRates() {
  const child = execFileSync(process.execPath, [new URL(import.meta.url).pathname, namesPath],
                             { env: { ...process.env, [NODE_ROUNDS]: '1' } });
  return JSON.parse(child.toString());
}

const loadTimes = [];
for (let i = 0; i < 5; ++i) {
  const script = `const t = performance.now(); await import(${JSON.stringify(new URL('../src/korvi.js', import.meta.url).href)}); console.log(performance.now() - t);`;
  loadTimes.push(Number(execFileSync(process.execPath, ['--input-type=module', '-e', script]).toString()));
}
console.log(`module size: ${statSync(modulePath).size} bytes (js/dist/korvi-wasm.mjs, single file)`);
console.log(`load time, Node ${process.version}: ${Math.min(...loadTimes).toFixed(1)} ms (best of 5 fresh processes)`);

const session = await openBrowser();
const results = [];
try {
  const page = await session.browser.newPage();
  await page.goto(`${session.base}/package.json`);  // same origin, nothing loaded yet
  const load = await page.evaluate(async () => {
    const t = performance.now();
    await import('/src/korvi.js');
    return performance.now() - t;
  });
  console.log(`load time, Chromium ${await session.browser.version()}: ${load.toFixed(1)} ms`);
  await page.evaluate((names) => { globalThis.benchNames = names; globalThis.KORVI_URL = '/src/korvi.js'; }, names);
  await page.evaluate(`globalThis.benchRound = ${round.toString()}`);
  const browserPid = session.browser.process().pid;
  // The renderer that ran the round is the one whose CPU time grew most.
  const chromiumRound = async (way) => {
    const before = rendererCpu(browserPid);
    const measured = await page.evaluate((way, seconds) => globalThis.benchRound(way, seconds), way, SECONDS);
    let cpu = 0;
    for (const [pid, seconds] of rendererCpu(browserPid)) cpu = Math.max(cpu, seconds - (before.get(pid) ?? 0));
    return measured && { ...measured, cpu };
  };

  for (let cycle = 1; cycle <= cycles; ++cycle) {
    const load = readFileSync('/proc/loadavg', 'utf8').split(' ')[0];
    const node = nodeRates();
    const native = nativeRate();
    const chromium = await rates(chromiumRound);
    results.push({ node, native, chromium });
    const show = (rate) => (rate ? `${Math.round(rate.wall)} wall, ${Math.round(rate.cpu)} CPU` : 'n/a');
    const share = (rate, way) => (native && rate ? ` = ${(100 * rate.cpu / nativeFor(native, way).cpu).toFixed(1)}%` : '');
    console.log(`cycle ${cycle} (load average ${load}):`);
    if (native) {
      console.log(`  native fingerprint(): ${show(native.one)} names/s; korvi_fingerprint_many(): ${show(native.many)} names/s`);
    }
    for (const [where, rate] of [['Node', node], ['Chromium', chromium]]) {
      console.log(`  ${where}: ${WAYS.map((way) => `${way}() ${show(rate[way])}${share(rate[way], way)}`).join('; ')}`);
    }
  }
} finally {
  await session.close();
}

if (results.length > 1 && results.every((r) => r.native)) {
  console.log(`per CPU-second, share of native over ${results.length} cycles (lowest to highest):`);
  for (const where of ['node', 'chromium']) {
    const spread = WAYS.filter((way) => results[0][where][way]).map((way) => {
      const shares = results.map((r) => 100 * r[where][way].cpu / nativeFor(r.native, way).cpu).sort((a, b) => a - b);
      return `${way}() ${shares.map((s) => s.toFixed(1)).join(', ')}%`;
    });
    console.log(`  ${where === 'node' ? 'Node' : 'Chromium'}: ${spread.join('; ')}`);
  }
}
