// SPDX-License-Identifier: MIT
// The instrument inside the audio thread. Events carry the context frame
// they are for and are applied at that frame within the 128-frame quantum
// that holds it (live ones, which carry none, at the start of the next).
// Everything process() touches is made in the constructor: it allocates
// nothing, and only posts back to the page while recording (a full chunk
// of samples now and then) or when the test hook is on.
import { instantiate } from './orvo.mjs';

const kQueue = 4096;  // pending live events
const kChunk = 4096;  // frames per recorded chunk the page receives, about 0.1 s

class OrvoProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const o = options.processorOptions;
    this.instrument = instantiate(o.module).instrument(sampleRate);
    this.left = this.instrument.left.subarray(0, 128);
    this.right = this.instrument.right.subarray(0, 128);
    // A whole song given up front (the page's offline render).
    this.frames = o.frames ?? new Float64Array(0);
    this.bytes = o.bytes ?? new Uint32Array(0);
    this.next = 0;
    // Live events, a ring of packed words: kind << 24 | three bytes, and a
    // float value beside (kind 0: MIDI, 1: parameter, 2: program, 3: preset).
    this.queue = new Uint32Array(kQueue);
    this.values = new Float32Array(kQueue);
    this.head = 0;
    this.tail = 0;
    this.echo = !!o.echo;  // the test hook: say which MIDI and values reached the instrument
    this.echoValues = 0;   // parameters set in this quantum, one bit each
    // What was played, left then right, posted (copied) each time it fills.
    this.chunk = new Float32Array(2 * kChunk);
    this.recorded = 0;
    this.recording = false;
    this.port.onmessage = (e) => this.receive(e.data);
  }

  receive(m) {
    if (m.type === 'record') {
      // The last part chunk goes with the end, so the page holds every frame.
      if (!m.on && this.recording) this.port.postMessage({ type: 'recorded', frames: this.recorded, samples: this.chunk });
      this.recording = m.on;
      this.recorded = 0;
      return;
    }
    if ((this.tail + 1) % kQueue === this.head) return;  // full: a flood of events is dropped
    if (m.type === 'midi') this.queue[this.tail] = (m.bytes[0] | (m.bytes[1] << 8) | ((m.bytes[2] ?? 0) << 16)) >>> 0;
    else if (m.type === 'value') this.queue[this.tail] = (1 << 24) | m.index;
    else if (m.type === 'program') this.queue[this.tail] = (2 << 24) | m.program;
    else if (m.type === 'preset') this.queue[this.tail] = (3 << 24) | m.preset;
    else return;
    this.values[this.tail] = m.value ?? 0;
    this.tail = (this.tail + 1) % kQueue;
  }

  process(inputs, outputs) {
    const ins = this.instrument;
    for (; this.head !== this.tail; this.head = (this.head + 1) % kQueue) {
      const w = this.queue[this.head];
      const kind = w >>> 24;
      if (kind === 0) {
        ins.midi(0, w & 0xff, (w >> 8) & 0xff, (w >> 16) & 0xff);
        if (this.echo) this.port.postMessage(w);
      } else if (kind === 1) {
        ins.value(0, w & 0xff, this.values[this.head]);
        if (this.echo) this.echoValues |= 1 << (w & 0xff);
      } else if (kind === 2) ins.selectProgram(w & 0xffff);
      else ins.applyPreset(w & 0xffff);
    }
    const end = currentFrame + 128;
    for (; this.next < this.frames.length && this.frames[this.next] < end; ++this.next) {
      const w = this.bytes[this.next];
      ins.midi(Math.max(this.frames[this.next] - currentFrame, 0), w & 0xff, (w >> 8) & 0xff, (w >> 16) & 0xff);
    }
    ins.process(128);
    const out = outputs[0];
    out[0].set(this.left);
    if (out.length > 1) out[1].set(this.right);
    if (this.recording) this.record();
    if (this.echoValues) this.echoApplied();
    return true;
  }

  record() {
    this.chunk.set(this.left, this.recorded);
    this.chunk.set(this.right, kChunk + this.recorded);
    this.recorded += 128;
    if (this.recorded < kChunk) return;
    this.port.postMessage(this.chunk);
    this.recorded = 0;
  }

  // The values the instrument now holds for the parameters set this quantum.
  echoApplied() {
    for (let i = 0; i < 32; ++i)
      if (this.echoValues & (1 << i)) this.port.postMessage({ type: 'value', index: i, value: this.instrument.getValue(i) });
    this.echoValues = 0;
  }
}

registerProcessor('orvo', OrvoProcessor);
