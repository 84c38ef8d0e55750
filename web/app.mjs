// SPDX-License-Identifier: MIT
// The page: the instrument's editor form, the computer keyboard as a piano,
// Web MIDI input, programs and factory presets, a level meter, a recorder,
// and window.orvo.renderMidi for offline renders through the same worklet.
import { Editor } from './editor.mjs';
import { compile, instantiate } from './orvo.mjs';
import { Recorder } from './recorder.mjs';

const $ = (id) => document.getElementById(id);
const testing = new URLSearchParams(location.search).has('test');
const api = { test: { heard: [], values: {} } };
window.orvo = api;

const module = await compile(await (await fetch('orvo.wasm')).arrayBuffer());
const orvo = instantiate(module);
// The page's own copy of the instrument, kept in step with the worklet's,
// answers what the controls show (values as text, program names).
const model = orvo.instrument(48000);
let node = null;
let context = null;
const send = (message) => node?.port.postMessage(message);

// --- offline render -----------------------------------------------------

// An SMF rendered through the page's worklet in an OfflineAudioContext at
// `rate`, the material and `tailSeconds` after it, as orvo-render renders it.
api.renderMidi = async (bytes, rate, tailSeconds) => {
  const timeline = orvo.readMidi(bytes, rate);
  const length = timeline.end + Math.round(tailSeconds * rate);
  const offline = new OfflineAudioContext({ numberOfChannels: 2, length, sampleRate: rate });
  await offline.audioWorklet.addModule('worklet.mjs');
  const player = new AudioWorkletNode(offline, 'orvo', {
    numberOfInputs: 0, outputChannelCount: [2],
    processorOptions: { module, frames: timeline.frames, bytes: timeline.bytes },
  });
  player.connect(offline.destination);
  const buffer = await offline.startRendering();
  return { left: buffer.getChannelData(0), right: buffer.getChannelData(1) };
};

// --- controls -------------------------------------------------------------

const names = orvo.paramNames();
// The last edit, as a host shows it: the parameter and its value as text.
const editor = new Editor(orvo, model, $('editor'), (index, value) => {
  $('readout').value = `${names[index]}: ${model.display(index)}`;
  send({ type: 'value', index, value });
});
api.test.value = (index) => model.getValue(index);
// After a program or preset change, rather than on the form's next tick.
const showValues = () => editor.tick();

function showPrograms() {
  const select = $('program');
  select.replaceChildren(...Array.from({ length: 32 }, (_, p) =>
    new Option(`${p + 1}: ${model.programName(p)}`, p, false, p === model.program)));
}

$('program').addEventListener('change', (e) => {
  const program = Number(e.target.value);
  model.selectProgram(program);
  send({ type: 'program', program });
  showValues();
});

const groups = new Map();
orvo.presets().forEach(({ name, category }, i) => {
  if (!groups.has(category)) groups.set(category, Object.assign(document.createElement('optgroup'), { label: category }));
  groups.get(category).append(new Option(name, i));
});
$('preset').append(...groups.values());
$('preset').addEventListener('change', (e) => {
  if (e.target.value === '') return;
  const preset = Number(e.target.value);
  model.applyPreset(preset);
  send({ type: 'preset', preset });
  showValues();
  showPrograms();
});

// --- sound ------------------------------------------------------------------

// Once, on the first key, MIDI message or click; later callers wait for it.
let starting = null;
const start = () => (starting ??= startSound());

async function startSound() {
  context = new AudioContext({ latencyHint: 'interactive' });
  await context.audioWorklet.addModule('worklet.mjs');
  node = new AudioWorkletNode(context, 'orvo', {
    numberOfInputs: 0, outputChannelCount: [2], processorOptions: { module, echo: testing },
  });
  // The worklet starts from the defaults: bring it to what the page shows.
  send({ type: 'program', program: model.program });
  names.forEach((_, index) => send({ type: 'value', index, value: model.getValue(index) }));
  node.port.onmessage = (e) => {
    if (recorder?.receive(e.data)) return;
    if (typeof e.data === 'number') api.test.heard.push([e.data & 0xff, (e.data >> 8) & 0xff, (e.data >> 16) & 0xff]);
    else if (e.data.type === 'value') api.test.values[e.data.index] = e.data.value;
  };
  const analyser = new AnalyserNode(context, { fftSize: 1024 });
  node.connect(context.destination);
  node.connect(analyser);
  meter(analyser);
  await context.resume();
  $('start').textContent = `Sound on (${context.sampleRate} Hz)`;
  $('start').disabled = true;
}
$('start').addEventListener('click', start);

// --- recorder ---------------------------------------------------------------

let recorder = null;
$('record').addEventListener('click', async () => {
  await start();
  const button = $('record');
  if (!recorder) {
    recorder = new Recorder(context.sampleRate);
    send({ type: 'record', on: true });
    button.textContent = 'Stop';
    button.classList.add('on');
    return;
  }
  const stopped = recorder.stopped();
  send({ type: 'record', on: false });
  button.disabled = true;
  const wav = await stopped;
  recorder = null;
  api.test.wav = wav;
  const link = $('download');
  if (link.href) URL.revokeObjectURL(link.href);
  link.href = URL.createObjectURL(new Blob([wav], { type: 'audio/wav' }));
  link.download = `orvo-${new Date().toISOString().replace(/[:.]/g, '-')}.wav`;
  link.textContent = `Download the recording (${(wav.length / 1048576).toFixed(1)} MB WAV)`;
  link.hidden = false;
  button.textContent = 'Record';
  button.classList.remove('on');
  button.disabled = false;
});

function meter(analyser) {
  const samples = new Float32Array(analyser.fftSize);
  let level = 0;
  const frame = () => {
    analyser.getFloatTimeDomainData(samples);
    let peak = 0;
    for (const s of samples) peak = Math.max(peak, Math.abs(s));
    level = Math.max(peak, level * 0.9);  // falls back slowly, as a meter does
    $('level').value = Math.min(level, 1);
    requestAnimationFrame(frame);
  };
  frame();
}

// --- computer keyboard ------------------------------------------------------

// Two rows of a piano: Z..M an octave below Q..U, black keys on the row above each.
const lower = ['z', 's', 'x', 'd', 'c', 'v', 'g', 'b', 'h', 'n', 'j', 'm', ','];
const upper = ['q', '2', 'w', '3', 'e', 'r', '5', 't', '6', 'y', '7', 'u', 'i'];
let octave = 4;
const down = new Map();  // key -> note it started, so a changed octave still ends it

function keyNote(key) {
  let step = lower.indexOf(key);
  if (step >= 0) return 12 * octave + step;
  step = upper.indexOf(key);
  return step >= 0 ? 12 * (octave + 1) + step : -1;
}

// Sent once the sound has started; promise callbacks run in the order
// they were made, so a key let go while it starts still ends its note.
const sendWhenStarted = (message) => start().then(() => send(message));

addEventListener('keydown', (e) => {
  if (e.ctrlKey || e.metaKey || e.altKey || e.target.tagName === 'SELECT') return;
  const key = e.key.toLowerCase();
  if (key === '[' || key === ']') {
    octave = Math.min(8, Math.max(0, octave + (key === ']' ? 1 : -1)));
    $('octave').value = octave;
    return;
  }
  const note = keyNote(key);
  if (note < 0 || note > 127 || e.repeat || down.has(key)) return;
  down.set(key, note);
  sendWhenStarted({ type: 'midi', bytes: [0x90, note, 100] });
});

addEventListener('keyup', (e) => {
  const key = e.key.toLowerCase();
  if (!down.has(key)) return;
  sendWhenStarted({ type: 'midi', bytes: [0x80, down.get(key), 64] });
  down.delete(key);
});

// --- Web MIDI ---------------------------------------------------------------

$('midi-enable').addEventListener('click', async () => {
  if (!navigator.requestMIDIAccess) {
    $('status').textContent = 'this browser offers no MIDI input';
    return;
  }
  try {
    const access = await navigator.requestMIDIAccess();
    const fill = () => {
      const select = $('midi-input');
      const chosen = select.value;
      select.replaceChildren(new Option('none', ''), ...[...access.inputs.values()].map((i) => new Option(i.name, i.id, false, i.id === chosen)));
    };
    access.onstatechange = fill;
    fill();
    $('midi-input').onchange = async (e) => {
      for (const input of access.inputs.values()) input.onmidimessage = null;
      const input = access.inputs.get(e.target.value);
      if (!input) return;
      await start();
      // Channel messages only: system messages mean nothing to the instrument.
      input.onmidimessage = (m) => { if (m.data[0] < 0xf0) send({ type: 'midi', bytes: [...m.data] }); };
    };
  } catch (error) {
    $('status').textContent = `MIDI refused: ${error.message}`;
  }
});

showPrograms();
$('status').textContent = 'ready';
api.ready = true;
