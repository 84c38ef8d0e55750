// SPDX-License-Identifier: MIT
// The timed session through orvo.wasm, as the page's worklet plays it (128
// frames a block, every event at its frame), must hash to what the VST 2
// plug-in gives. Reads orvo-web-timed's output on standard input.
//   node timed-hash.mjs WEB_DIR RATE < events   (77: no web build to test)
import { existsSync, readFileSync } from 'node:fs';
import { join } from 'node:path';

const [webDir, rateText] = process.argv.slice(2);
if (!existsSync(join(webDir, 'orvo.wasm'))) {
  console.log(`no web build in ${webDir}: skipped`);
  process.exit(77);
}
const { compile, instantiate } = await import(join(webDir, 'orvo.mjs'));
const rate = Number(rateText);
const lines = readFileSync(0, 'utf8').trim().split('\n');
const expected = lines.shift().split(' ')[1];
const events = lines.map((line) => line.split(' '));
const kFrames = 8 * 44100;  // the session's length, whatever the rate

const instrument = instantiate(await compile(readFileSync(join(webDir, 'orvo.wasm')))).instrument(rate);
const bits = new Float32Array(1);
const bitsAsWord = new Uint32Array(bits.buffer);
// 64-bit FNV-1a over each sample's four bytes, in two 32-bit halves.
let hi = 0xcbf29ce4, lo = 0x84222325;
const add = (word) => {
  for (let k = 0; k < 4; ++k) {
    lo = (lo ^ ((word >>> (8 * k)) & 0xff)) >>> 0;
    // times 0x100000001b3: lo * 0x1b3, and lo << 8 into the high half
    const loProduct = lo * 0x1b3;
    const carry = Math.floor(loProduct / 0x100000000);
    hi = (Math.imul(hi, 0x1b3) + ((lo << 8) >>> 0) + carry) >>> 0;
    lo = loProduct >>> 0;
  }
};
let next = 0;
for (let done = 0; done < kFrames; done += 128) {
  const frames = Math.min(128, kFrames - done);
  for (; next < events.length && Number(events[next][0]) < done + frames; ++next) {
    const [frame, kind, a, b, c] = events[next];
    const at = Number(frame) - done;
    if (kind === 'm') instrument.midi(at, Number(a), Number(b), Number(c));
    else {
      bitsAsWord[0] = parseInt(b, 16);
      instrument.value(at, Number(a), bits[0]);
    }
  }
  instrument.process(frames);
  for (let i = 0; i < frames; ++i) {
    add(instrument.leftBits[i]);
    add(instrument.rightBits[i]);
  }
}
const got = hi.toString(16).padStart(8, '0') + lo.toString(16).padStart(8, '0');
console.log(`${rate} Hz: orvo.wasm ${got}, VST 2 plug-in ${expected}`);
process.exit(got === expected ? 0 : 1);
