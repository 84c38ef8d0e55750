#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// orvo-render for Node: a Standard MIDI File to a 32-bit float WAV with the
// WebAssembly instrument. The same samples as the native orvo-render with
// --bits 32f and the same --rate and --tail.
//   node orvo-render.mjs --midi FILE -o OUT.wav [--rate R] [--tail SECONDS] [--no-sustain] [--quiet]
import * as fs from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { compile, instantiate } from './orvo.mjs';
import { renderTimeline } from './render.mjs';
import { FloatWavFile } from './wav.mjs';

const usage = 'usage: orvo-render.mjs --midi FILE -o OUT.wav [--rate R] [--tail SECONDS] [--no-sustain] [--quiet]';

function parse(argv) {
  const o = { rate: 44100, tail: null, sustain: true, quiet: false, wasm: null };
  for (let i = 0; i < argv.length; ++i) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new Error(`${a} needs a value`);
      return argv[++i];
    };
    if (a === '--midi') o.midi = value();
    else if (a === '-o' || a === '--out') o.out = value();
    else if (a === '--rate') o.rate = Number(value());
    else if (a === '--tail') o.tail = Number(value());
    else if (a === '--no-sustain') o.sustain = false;
    else if (a === '--quiet' || a === '-q') o.quiet = true;
    else if (a === '--wasm') o.wasm = value();  // another build of the module
    else if (a === '--help' || a === '-h') { console.log(usage); process.exit(0); }
    else throw new Error(`unknown option '${a}'`);
  }
  if (!o.midi || !o.out) throw new Error('--midi and -o are required');
  if (!Number.isInteger(o.rate) || o.rate < 8000 || o.rate > 384000) throw new Error('--rate: a whole number of Hz from 8000 to 384000');
  if (o.tail !== null && !(Number.isFinite(o.tail) && o.tail >= 0)) throw new Error('--tail: a number of seconds, 0 or more');
  return o;
}

let options;
try {
  options = parse(process.argv.slice(2));
} catch (e) {
  console.error(`orvo-render.mjs: ${e.message}\n${usage}`);
  process.exit(2);
}

try {
  const here = dirname(fileURLToPath(import.meta.url));
  const module = instantiate(await compile(fs.readFileSync(options.wasm ?? join(here, 'orvo.wasm'))));
  const timeline = module.readMidi(fs.readFileSync(options.midi), options.rate, options.sustain);
  if (timeline.drumsLeftOut && !options.quiet)
    console.error(`orvo-render.mjs: note: '${options.midi}' plays channel 10 (General MIDI drums) beside other channels; it is left out`);
  const started = performance.now();
  const instrument = module.instrument(options.rate);
  // Written beside the output and renamed into place once whole.
  const temporary = `${options.out}.part`;
  const file = new FloatWavFile(fs, temporary, options.rate);
  let frames;
  try {
    frames = renderTimeline(instrument, timeline, options.rate, options.tail, (l, r) => file.write(l, r));
    file.close();
  } catch (e) {
    fs.rmSync(temporary, { force: true });
    throw e;
  }
  fs.renameSync(temporary, options.out);
  const seconds = (performance.now() - started) / 1000;
  if (!options.quiet) {
    const length = frames / options.rate;
    console.log(`Rendered ${length.toFixed(2)} s (${frames} frames, ${options.rate} Hz, 32-bit float), ` +
      `${seconds > 0 ? (length / seconds).toFixed(0) : 0}x real time -> ${options.out}`);
  }
} catch (e) {
  console.error(`orvo-render.mjs: ${e.message}`);
  process.exit(1);
}
