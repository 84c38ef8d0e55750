// SPDX-License-Identifier: MIT
// WebAssembly render speed in Node against native: one MIDI file through
// each build of orvo.wasm (plain lanes, SSE2 lanes through WebAssembly
// SIMD) and through orvo-render, best of several runs after a warm-up. A
// benchmark, not a test: numbers depend on the machine and its load.
//   node bench/web-lanes.mjs build/web build/linux/orvo-render FILE.mid [RUNS]
import { spawnSync } from 'node:child_process';
import * as fs from 'node:fs';
import { readFileSync, rmSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { tmpdir } from 'node:os';

const [webDir, nativeRender, midi, runsText] = process.argv.slice(2);
const runs = Number(runsText ?? 5);
const rate = 44100, tail = 2;
const { compile, instantiate } = await import(resolve(webDir, 'orvo.mjs'));
const { renderTimeline } = await import(resolve(webDir, 'render.mjs'));
const { FloatWavFile } = await import(resolve(webDir, 'wav.mjs'));
const out = join(tmpdir(), `orvo-bench-${process.pid}.wav`);

const best = (times) => Math.min(...times);
const results = [];
for (const lanes of ['plain', 'sse2']) {
  const module = instantiate(await compile(readFileSync(join(webDir, 'lanes', `orvo-${lanes}.wasm`))));
  const timeline = module.readMidi(readFileSync(midi), rate);
  // Kept in a file, as orvo-render's figure includes writing one, and not
  // kept, which leaves the instrument and the render loop alone.
  for (const kept of [true, false]) {
    const times = [];
    let frames = 0;
    for (let i = 0; i <= runs; ++i) {  // the first run warms the compiler's tiers up
      const instrument = module.instrument(rate);
      const started = performance.now();
      const file = kept ? new FloatWavFile(fs, out, rate) : null;
      frames = renderTimeline(instrument, timeline, rate, tail, (l, r) => file?.write(l, r));
      file?.close();
      if (i > 0) times.push((performance.now() - started) / 1000);
      instrument.dispose();
    }
    results.push({ what: `orvo.wasm, ${lanes} lanes, ${kept ? 'to a file' : 'not kept'}`, seconds: best(times), frames });
  }
}
const times = [];
for (let i = 0; i < runs; ++i) {
  const r = spawnSync(nativeRender, ['--midi', midi, '-o', out, '--bits', '32f', '--tail', String(tail)], { encoding: 'utf8' });
  const m = /\(([0-9]+) frames.*, ([0-9.]+)x real time/.exec(r.stdout);
  if (!m) throw new Error(`orvo-render said: ${r.stdout}${r.stderr}`);
  times.push(Number(m[1]) / rate / Number(m[2]));
}
rmSync(out, { force: true });
results.push({ what: 'orvo-render (VST 2 plug-in), to a file', seconds: best(times), frames: results[0].frames });
const native = results[results.length - 1].seconds;
for (const r of results)
  console.log(`${r.what.padEnd(40)} ${(r.frames / rate / r.seconds).toFixed(0).padStart(6)}x real time` +
    `  ${(1e9 * r.seconds / r.frames).toFixed(1).padStart(6)} ns/frame  ${(r.seconds / native).toFixed(2)}x native`);
