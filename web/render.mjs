// SPDX-License-Identifier: MIT
// A timeline rendered offline, as orvo-render renders it: the material, then
// a fixed tail, or without one until a second of silence (at most 30 s),
// keeping a quarter second of it. Events land at their frame inside each
// block, which gives the same bits as orvo-render's block at every event.
// Samples travel as their bits (Uint32Array) so that every NaN stays as it is.

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

// Hands the rendered frames to write(leftBits, rightBits) in order, in
// pieces valid only during the call; returns the number of frames.
export function renderTimeline(instrument, timeline, rate, tailSeconds, write) {
  const { frames: at, bytes, end } = timeline;
  const fixedTail = tailSeconds !== null && tailSeconds !== undefined;
  const stopAt = longestRender(end, rate, tailSeconds);
  const silenceLimit = Math.max(framesOf(kSilenceSeconds, rate), 1);
  // Silence after the material is held back: written after all if sound
  // follows, and only its beginning if it lasts.
  const heldLeft = new Uint32Array(silenceLimit);
  const heldRight = new Uint32Array(silenceLimit);
  let held = 0;
  let total = 0;
  const put = (l, r) => { write(l, r); total += l.length; };
  const flushHeld = (count) => {
    if (count > 0) put(heldLeft.subarray(0, count), heldRight.subarray(0, count));
    held = 0;
  };
  let next = 0;
  let stop = false;
  for (let position = 0; position < stopAt && !stop;) {
    let frames = Math.min(instrument.maxFrames, stopAt - position);
    for (; next < at.length && at[next] < position + frames; ++next) {
      const b = bytes[next];
      if (!instrument.midi(at[next] - position, b & 0xff, (b >> 8) & 0xff, (b >> 16) & 0xff)) {
        frames = at[next] - position;  // a full list: the block ends here
        break;
      }
    }
    instrument.process(frames);
    const l = instrument.left, r = instrument.right;
    const lBits = instrument.leftBits, rBits = instrument.rightBits;
    // Before the material ends nothing counts as the end's silence.
    let sounding = 0;  // frames [sounding, i) are sound not yet written
    const from = fixedTail ? frames : Math.min(Math.max(end - position, 0), frames);
    if (from > 0) flushHeld(held);
    let i = from;
    for (; i < frames; ++i) {
      const a = Math.abs(l[i]), c = Math.abs(r[i]);
      if (!((a < c ? c : a) < kSilenceThreshold)) {  // std::max's answer, NaN included
        if (held > 0) flushHeld(held);
        continue;
      }
      if (i > sounding) put(lBits.subarray(sounding, i), rBits.subarray(sounding, i));
      sounding = i + 1;
      heldLeft[held] = lBits[i];
      heldRight[held] = rBits[i];
      if (++held >= silenceLimit) {
        stop = true;
        break;
      }
    }
    if (!stop && frames > sounding) put(lBits.subarray(sounding, frames), rBits.subarray(sounding, frames));
    position += frames;
  }
  flushHeld(Math.min(held, framesOf(kKeptSilenceSeconds, rate)));
  return total;
}

// The whole render in memory: { left, right } Float32Arrays.
export function renderToArrays(instrument, timeline, rate, tailSeconds) {
  const chunks = [];
  const frames = renderTimeline(instrument, timeline, rate, tailSeconds, (l, r) => chunks.push([l.slice(), r.slice()]));
  const left = new Uint32Array(frames), right = new Uint32Array(frames);
  let at = 0;
  for (const [l, r] of chunks) {
    left.set(l, at);
    right.set(r, at);
    at += l.length;
  }
  return { left: new Float32Array(left.buffer), right: new Float32Array(right.buffer) };
}
