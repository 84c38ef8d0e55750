// SPDX-License-Identifier: MIT
// Two channels of float samples as a WAV file of 32-bit IEEE floats, the
// bits as they are: what the Node renderer writes and the page records.

export function floatWav(left, right, rate) {
  const frames = left.length;
  const dataBytes = frames * 8;
  const out = new ArrayBuffer(58 + dataBytes);
  const v = new DataView(out);
  const tag = (at, text) => { for (let i = 0; i < 4; ++i) v.setUint8(at + i, text.charCodeAt(i)); };
  tag(0, 'RIFF');
  v.setUint32(4, 50 + dataBytes, true);
  tag(8, 'WAVE');
  tag(12, 'fmt ');
  v.setUint32(16, 18, true);
  v.setUint16(20, 3, true);  // IEEE float
  v.setUint16(22, 2, true);
  v.setUint32(24, rate, true);
  v.setUint32(28, rate * 8, true);
  v.setUint16(32, 8, true);
  v.setUint16(34, 32, true);
  v.setUint16(36, 0, true);
  // A file of another sample format than PCM says how many frames it holds.
  tag(38, 'fact');
  v.setUint32(42, 4, true);
  v.setUint32(46, frames, true);
  tag(50, 'data');
  v.setUint32(54, dataBytes, true);
  const l = new Uint32Array(left.buffer, left.byteOffset, frames);
  const r = new Uint32Array(right.buffer, right.byteOffset, frames);
  for (let i = 0; i < frames; ++i) {
    v.setUint32(58 + 8 * i, l[i], true);
    v.setUint32(62 + 8 * i, r[i], true);
  }
  return new Uint8Array(out);
}
