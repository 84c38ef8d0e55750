// SPDX-License-Identifier: MIT
// The WebAssembly instrument from JavaScript: Node, the page and the
// AudioWorklet all load orvo.wasm through this file. The module imports two
// functions, both given here: nothing in it reaches outside.

const systemImports = {
  // Reached only by a failed internal check (abort).
  wasi_snapshot_preview1: { proc_exit(code) { throw new Error(`orvo.wasm stopped (${code})`); } },
  env: { emscripten_notify_memory_growth() {} },
};

// A compiled module (WebAssembly.Module) into a ready instance; synchronous,
// so an AudioWorkletProcessor can do it in its constructor.
export function instantiate(module) {
  const instance = new WebAssembly.Instance(module, systemImports);
  if (instance.exports._initialize) instance.exports._initialize();
  return new OrvoModule(instance.exports);
}

export async function compile(bytes) {
  return WebAssembly.compile(bytes);
}

const kEventBytes = 12;

export class OrvoModule {
  constructor(exports) {
    this.x = exports;
  }

  get memory() { return this.x.memory.buffer; }

  text(pointer) {
    const bytes = new Uint8Array(this.memory, pointer);
    let end = 0;
    while (bytes[end] !== 0) ++end;
    let s = '';
    for (let i = 0; i < end; ++i) s += String.fromCharCode(bytes[i]);
    return s;
  }

  paramNames() {
    return Array.from({ length: this.x.orvo_param_count() }, (_, i) => this.text(this.x.orvo_param_name(i)));
  }

  presets() {
    return Array.from({ length: this.x.orvo_preset_count() }, (_, i) => ({
      name: this.text(this.x.orvo_preset_name(i)),
      category: this.text(this.x.orvo_preset_category(i)),
    }));
  }

  // The timeline orvo-render plays for a Standard MIDI File at `rate`:
  // { frames: Float64Array, bytes: Uint32Array (three bytes, low first),
  // end, drumsLeftOut }. Throws with the file's fault.
  readMidi(fileBytes, rate, sustain = true) {
    const at = this.x.malloc(Math.max(fileBytes.length, 1));
    new Uint8Array(this.memory, at, fileBytes.length).set(fileBytes);
    const count = this.x.orvo_midi_read(at, fileBytes.length, rate, sustain ? 1 : 0);
    this.x.free(at);
    if (count < 0) throw new Error(this.text(this.x.orvo_midi_error()));
    const frames = new Float64Array(count);
    const bytes = new Uint32Array(count);
    for (let i = 0; i < count; ++i) {
      frames[i] = this.x.orvo_midi_frame(i);
      bytes[i] = this.x.orvo_midi_bytes(i);
    }
    return { frames, bytes, end: this.x.orvo_midi_end(), drumsLeftOut: !!this.x.orvo_midi_drums_left_out() };
  }

  instrument(rate) {
    return new Instrument(this, rate);
  }
}

// One instrument at one rate: the rate is given first and the current
// program selected at it, as orvo-render does, so a sound is the same at
// every rate. Events are queued with their frame in the coming block and
// applied there by process(); nothing here allocates after construction.
export class Instrument {
  constructor(module, rate) {
    this.module = module;
    this.x = module.x;
    this.handle = this.x.orvo_new(rate);
    if (!this.handle) throw new Error(`the instrument cannot run at ${rate} Hz`);
    this.maxFrames = this.x.orvo_max_frames();
    this.maxEvents = this.x.orvo_max_events();
    this.count = 0;
    this.views();
  }

  // Views into the module's memory; made again if it ever grows (only a
  // MIDI file read can make it grow, never a block).
  views() {
    const buffer = this.module.memory;
    this.buffer = buffer;
    this.left = new Float32Array(buffer, this.x.orvo_left(this.handle), this.maxFrames);
    this.right = new Float32Array(buffer, this.x.orvo_right(this.handle), this.maxFrames);
    // The same samples as bits, for copies that must keep every NaN as it is.
    this.leftBits = new Uint32Array(buffer, this.left.byteOffset, this.maxFrames);
    this.rightBits = new Uint32Array(buffer, this.right.byteOffset, this.maxFrames);
    this.eventView = new DataView(buffer, this.x.orvo_events(this.handle), this.maxEvents * kEventBytes);
  }

  // False when the block's list is full: the caller ends its block early.
  midi(frame, status, data1, data2) {
    if (this.count === this.maxEvents) return false;
    const at = this.count++ * kEventBytes;
    const v = this.eventView;
    v.setUint32(at, frame, true);
    v.setUint8(at + 4, 0);
    v.setUint8(at + 5, status);
    v.setUint8(at + 6, data1);
    v.setUint8(at + 7, data2);
    v.setFloat32(at + 8, 0, true);
    return true;
  }

  value(frame, index, value) {
    if (this.count === this.maxEvents) return false;
    const at = this.count++ * kEventBytes;
    const v = this.eventView;
    v.setUint32(at, frame, true);
    v.setUint8(at + 4, 1);
    v.setUint8(at + 5, index);
    v.setUint8(at + 6, 0);
    v.setUint8(at + 7, 0);
    v.setFloat32(at + 8, value, true);
    return true;
  }

  // Renders `frames` (at most maxFrames) into this.left and this.right with
  // the queued events, and empties the queue.
  process(frames) {
    if (this.buffer !== this.module.memory) this.views();
    this.x.orvo_process(this.handle, frames, this.count);
    this.count = 0;
  }

  setValue(index, value) { this.x.orvo_set_value(this.handle, index, value); }
  getValue(index) { return this.x.orvo_value(this.handle, index); }
  display(index) { return this.module.text(this.x.orvo_display(this.handle, index)); }
  get program() { return this.x.orvo_program(this.handle); }
  selectProgram(p) { this.x.orvo_select_program(this.handle, p); }
  programName(p) { return this.module.text(this.x.orvo_program_name(this.handle, p)); }
  applyPreset(i) { this.x.orvo_apply_preset(this.handle, i); }
  dispose() { this.x.orvo_delete(this.handle); this.handle = 0; }
}
