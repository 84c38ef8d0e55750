// SPDX-License-Identifier: MIT
// A timeline rendered offline, as orvo-render renders it: the material, then
// a fixed tail, or without one until a second of silence (at most 30 s),
// keeping a quarter second of it. Events land at their frame inside each
// block, which gives the same bits as orvo-render's block at every event.

const kMaxTailSeconds = 30.0;
const kSilenceSeconds = 1.0;
const kKeptSilenceSeconds = 0.25;
const kSilenceThreshold = 1.0 / 65536.0;

// llround for the non-negative values this sees.
const framesOf = (seconds, rate) => Math.round(seconds * rate);

// Frames a render of material ending at `end` may run to.
export function longestRender(end, rate, tailSeconds) {
  return end + framesOf(tailSeconds ?? kMaxTailSeconds, rate);
}

// Returns { left, right } Float32Arrays of the rendered frames.
export function renderTimeline(instrument, timeline, rate, tailSeconds = null) {
  const { frames: at, bytes, end } = timeline;
  const fixedTail = tailSeconds !== null && tailSeconds !== undefined;
  const stopAt = longestRender(end, rate, tailSeconds);
  const silenceLimit = Math.max(framesOf(kSilenceSeconds, rate), 1);
  const left = new Uint32Array(stopAt);  // bits: copies keep NaNs as they are
  const right = new Uint32Array(stopAt);
  // Trailing silence is kept in place but counted apart until sound
  // follows it (it is then written after all) or it lasts long enough.
  let written = 0;
  let held = 0;
  let next = 0;
  for (let position = 0; position < stopAt;) {
    let frames = Math.min(instrument.maxFrames, stopAt - position);
    for (; next < at.length && at[next] < position + frames; ++next) {
      const b = bytes[next];
      if (!instrument.midi(at[next] - position, b & 0xff, (b >> 8) & 0xff, (b >> 16) & 0xff)) {
        frames = at[next] - position;  // a full list: the block ends here
        break;
      }
    }
    instrument.process(frames);
    const l = instrument.left;
    const r = instrument.right;
    const lBits = instrument.leftBits;
    const rBits = instrument.rightBits;
    let stop = false;
    for (let i = 0; i < frames; ++i) {
      const out = written + held;
      left[out] = lBits[i];
      right[out] = rBits[i];
      const silent = !fixedTail && position + i >= end &&
        Math.max(Math.abs(l[i]), Math.abs(r[i])) < kSilenceThreshold;
      if (!silent) {
        written = out + 1;
        held = 0;
      } else if (++held >= silenceLimit) {
        stop = true;
        break;
      }
    }
    position += frames;
    if (stop) break;
  }
  written += Math.min(held, framesOf(kKeptSilenceSeconds, rate));
  return { left: new Float32Array(left.buffer, 0, written), right: new Float32Array(right.buffer, 0, written) };
}
