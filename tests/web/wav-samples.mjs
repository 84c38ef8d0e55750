// SPDX-License-Identifier: MIT
// The sample words of a 32-bit float WAV file, whoever wrote it (the chunks
// around them differ between writers): { rate, channels, words }.
import { readFileSync } from 'node:fs';

export function wavSamples(path) {
  const bytes = readFileSync(path);
  const v = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const tag = (at) => String.fromCharCode(...bytes.subarray(at, at + 4));
  if (tag(0) !== 'RIFF' || tag(8) !== 'WAVE') throw new Error(`${path}: not a WAV file`);
  let rate = 0, channels = 0, format = 0, bits = 0;
  for (let at = 12; at + 8 <= bytes.length;) {
    const size = v.getUint32(at + 4, true);
    if (tag(at) === 'fmt ') {
      format = v.getUint16(at + 8, true);
      channels = v.getUint16(at + 10, true);
      rate = v.getUint32(at + 12, true);
      bits = v.getUint16(at + 22, true);
      if (format === 0xfffe) format = v.getUint16(at + 32, true);  // the extensible form's subformat
    } else if (tag(at) === 'data') {
      if (format !== 3 || bits !== 32) throw new Error(`${path}: not 32-bit float (format ${format}, ${bits} bits)`);
      const words = new Uint32Array(size / 4);
      for (let i = 0; i < words.length; ++i) words[i] = v.getUint32(at + 8 + 4 * i, true);
      return { rate, channels, words };
    }
    at += 8 + size + (size & 1);
  }
  throw new Error(`${path}: no data chunk`);
}

// Where two sample lists first differ, or -1.
export function firstDifference(a, b) {
  const n = Math.min(a.length, b.length);
  for (let i = 0; i < n; ++i) if (a[i] !== b[i]) return i;
  return a.length === b.length ? -1 : n;
}
