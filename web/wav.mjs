// SPDX-License-Identifier: MIT
// Two channels as a WAV file of 32-bit IEEE floats, the bits as they are:
// in memory for the page's recorder, streamed to a file for the Node
// renderer. Samples come as their bits (Uint32Array views of the floats).

const kHeaderBytes = 58;

export function floatWavHeader(frames, rate) {
  const v = new DataView(new ArrayBuffer(kHeaderBytes));
  const tag = (at, text) => { for (let i = 0; i < 4; ++i) v.setUint8(at + i, text.charCodeAt(i)); };
  const dataBytes = frames * 8;
  tag(0, 'RIFF');
  v.setUint32(4, kHeaderBytes - 8 + dataBytes, true);
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
  return new Uint8Array(v.buffer);
}

// Interleaves into `out` (little-endian, as every engine running this is).
function interleave(left, right, out, at) {
  for (let i = 0; i < left.length; ++i) {
    out[at + 2 * i] = left[i];
    out[at + 2 * i + 1] = right[i];
  }
}

export function floatWav(left, right, rate) {
  const l = new Uint32Array(left.buffer, left.byteOffset, left.length);
  const r = new Uint32Array(right.buffer, right.byteOffset, right.length);
  const out = new Uint8Array(kHeaderBytes + 8 * l.length);
  out.set(floatWavHeader(l.length, rate));
  const words = new Uint32Array(l.length * 2);
  interleave(l, r, words, 0);
  out.set(new Uint8Array(words.buffer), kHeaderBytes);
  return out;
}

// Written as the frames come; the header's sizes go in on close.
export class FloatWavFile {
  constructor(fs, path, rate) {
    this.fs = fs;
    this.fd = fs.openSync(path, 'w');
    this.rate = rate;
    this.frames = 0;
    this.words = new Uint32Array(2 * 8192);
    fs.writeSync(this.fd, floatWavHeader(0, rate));
  }

  write(left, right) {
    for (let at = 0; at < left.length; at += 8192) {
      const n = Math.min(8192, left.length - at);
      interleave(left.subarray(at, at + n), right.subarray(at, at + n), this.words, 0);
      this.fs.writeSync(this.fd, new Uint8Array(this.words.buffer, 0, 8 * n));
    }
    this.frames += left.length;
  }

  close() {
    this.fs.writeSync(this.fd, floatWavHeader(this.frames, this.rate), 0, kHeaderBytes, 0);
    this.fs.closeSync(this.fd);
  }
}
