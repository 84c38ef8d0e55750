// SPDX-License-Identifier: MIT
// The page's side of recording: the worklet posts what it played in
// chunks (left then right, `kChunk` frames each) and a last part chunk
// when told to stop; they are joined here, on the main thread, into a
// 32-bit float WAV, the samples as the instrument made them.
import { floatWav } from './wav.mjs';

export class Recorder {
  constructor(rate) {
    this.rate = rate;
    this.chunks = [];  // [left, right] pairs
    this.finished = null;
  }

  // A message from the worklet; true when it was the recorder's.
  receive(data) {
    if (data instanceof Float32Array) {
      this.add(data, data.length / 2);
      return true;
    }
    if (data?.type !== 'recorded') return false;
    this.add(data.samples, data.frames, data.samples.length / 2);
    const frames = this.chunks.reduce((n, [l]) => n + l.length, 0);
    const left = new Float32Array(frames), right = new Float32Array(frames);
    let at = 0;
    for (const [l, r] of this.chunks) {
      left.set(l, at);
      right.set(r, at);
      at += l.length;
    }
    this.chunks = [];
    this.finished?.(floatWav(left, right, this.rate));
    return true;
  }

  add(samples, frames, half = frames) {
    this.chunks.push([samples.subarray(0, frames), samples.subarray(half, half + frames)]);
  }

  // The WAV bytes once the worklet has sent its last chunk.
  stopped() {
    return new Promise((resolve) => { this.finished = resolve; });
  }
}
