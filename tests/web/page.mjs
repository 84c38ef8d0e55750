// SPDX-License-Identifier: MIT
// The page in Debian's headless Chromium, served from the loopback by
// scripts/serve-web.sh: it loads without a console or page error,
// renderMidi gives orvo-render's samples, computer keys reach the worklet
// as notes, the drawn editor's knob, slider and radio group set their own
// parameter as the native form does at device scales 1 and 2, the recorder
// gives a WAV of what was played, and a screenshot of it goes to the path
// given.
//   node page.mjs WEB_DIR ORVO_RENDER SCREENSHOT WORK MIDI...   (77: no web build or no puppeteer-core)
import { spawn, spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { basename, dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { wavSamples, firstDifference } from './wav-samples.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const [webDir, nativeRender, screenshot, work, ...midiFiles] = process.argv.slice(2);
if (!existsSync(join(webDir, 'index.html'))) {
  console.log(`no web build in ${webDir}: skipped`);
  process.exit(77);
}
let puppeteer;
try {
  puppeteer = (await import('puppeteer-core')).default;
} catch {
  console.log('no puppeteer-core in tests/web/node_modules (scripts/setup.sh installs it): skipped');
  process.exit(77);
}

let passed = 0, failed = 0;
const check = (ok, what) => {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  ok ? ++passed : ++failed;
};

// The editor form, driven with the mouse at CSS pixels of its 1x design
// (tests/editor has the same controls natively). Each gesture must change
// its own parameter, to the value the native form gives, and no other.
const values = (page) => page.evaluate(() => Array.from({ length: 12 }, (_, i) => window.orvo.test.value(i)));
async function gesture(page, what, index, act, expected) {
  const box = await page.evaluate(() => { const r = document.getElementById('editor').getBoundingClientRect(); return [r.left, r.top]; });
  const before = await values(page);
  const want = expected(before[index]);
  await act(page.mouse, ...box);
  await new Promise((resolve) => setTimeout(resolve, 50));
  const after = await values(page);
  const others = after.map((v, i) => (i !== index && v !== before[i] ? i : -1)).filter((i) => i >= 0);
  check(after[index] === want && others.length === 0,
    `${what} sets parameter ${index} from ${before[index]} to ${want} (got ${after[index]}${others.length ? `; also changed ${others}` : ''})`);
  return want;
}

async function editorGestures(page, scale) {
  const size = await page.evaluate(() => { const c = document.getElementById('editor'); return [c.width, c.height]; });
  check(size[0] === 465 * scale && size[1] === 281 * scale, `at device scale ${scale} the form is drawn at ${size}`);
  const drag = async (mouse, x0, y0, x, y, dx, dy) => {
    await mouse.move(x0 + x, y0 + y);
    await mouse.down();
    await mouse.move(x0 + x + dx, y0 + y + dy, { steps: 4 });
    await mouse.up();
  };
  // The CutOff knob: 20 pixels right is 10 positions at every scale.
  const knob = await gesture(page, `at scale ${scale} a knob drag 20 px right`, 4,
    (m, x0, y0) => drag(m, x0, y0, 136, 224, 20, 0), (v) => Math.fround((Math.round(v * 100) + 10) / 100));
  // Wave1's third item.
  await gesture(page, `at scale ${scale} a click on Sqr`, 8, async (m, x0, y0) => {
    await m.click(x0 + 44, y0 + 110);
  }, () => Math.fround(2 / 3));
  // The Attack slider's thumb (96 px of channel for 50 positions) up 10 positions.
  await gesture(page, `at scale ${scale} a slider drag 19 px up`, 0, async (m, x0, y0) => {
    const p = 50 - Math.round((await values(page))[0] * 50);
    await drag(m, x0, y0, 336, 40 + Math.round(p * 96 / 50), 0, -19);
  }, (v) => Math.fround((50 - (50 - Math.round(v * 50) - 10)) / 50));
  return knob;
}

const server = spawn('sh', [join(here, '../../scripts/serve-web.sh'), '0', webDir], { stdio: ['ignore', 'pipe', 'inherit'] });
const address = await new Promise((resolve, reject) => {
  server.stdout.once('data', (d) => resolve(String(d).trim()));
  server.once('exit', (code) => reject(new Error(`serve-web.sh exited with ${code}`)));
});
const profile = mkdtempSync(join(work, 'chromium-'));
const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  userDataDir: profile,
  args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required'],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 960, height: 560, deviceScaleFactor: 1 });
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(e.message));
  page.on('requestfailed', (r) => errors.push(`${r.url()}: ${r.failure()?.errorText}`));
  const outside = [];
  page.on('request', (r) => { if (!r.url().startsWith(address) && !r.url().startsWith('data:')) outside.push(r.url()); });
  await page.goto(`${address}?test`, { waitUntil: 'load' });
  await page.waitForFunction(() => window.orvo?.ready === true, { timeout: 30000 });

  // The same samples as orvo-render, through the worklet, at two rates.
  for (const file of midiFiles) {
    for (const rate of [44100, 48000]) {
      const out = join(work, 'native.wav');
      const native = spawnSync(nativeRender, ['--midi', file, '-o', out, '--bits', '32f', '--rate', String(rate),
        '--tail', '0.5', '--quiet']);
      if (native.status !== 0) throw new Error(`orvo-render failed on ${file}`);
      const expected = wavSamples(out).words;
      const words = await page.evaluate(async (bytes, rate) => {
        const { left, right } = await window.orvo.renderMidi(new Uint8Array(bytes), rate, 0.5);
        const l = new Uint32Array(left.buffer, left.byteOffset, left.length);
        const r = new Uint32Array(right.buffer, right.byteOffset, right.length);
        const out = new Array(2 * l.length);
        for (let i = 0; i < l.length; ++i) { out[2 * i] = l[i]; out[2 * i + 1] = r[i]; }
        return out;
      }, [...readFileSync(file)], rate);
      const at = firstDifference(expected, Uint32Array.from(words));
      check(at < 0, `renderMidi ${basename(file)} at ${rate} Hz matches orvo-render` +
        (at < 0 ? '' : ` (first difference at word ${at} of ${expected.length}, got ${words.length})`));
    }
  }

  // Z is C of the page's octave (4: key 48), Q an octave above.
  await page.keyboard.down('z');
  await page.keyboard.down('q');
  await page.keyboard.up('z');
  await page.keyboard.up('q');
  await page.waitForFunction(() => window.orvo.test.heard.length >= 4, { timeout: 10000 }).catch(() => {});
  const heard = await page.evaluate(() => window.orvo.test.heard);
  check(JSON.stringify(heard) === JSON.stringify([[0x90, 48, 100], [0x90, 60, 100], [0x80, 48, 64], [0x80, 60, 64]]),
    `computer keys reach the worklet as notes (heard ${JSON.stringify(heard)})`);

  // Edits reach the worklet's instrument too.
  const knob = await editorGestures(page, 1);
  const heardValue = await page.waitForFunction((v) => window.orvo.test.values[4] === v, { timeout: 5000 }, knob)
    .then(() => true, () => false);
  check(heardValue, `the knob's value reaches the worklet (${await page.evaluate(() => window.orvo.test.values[4])})`);

  // Recorded while two notes play: a float WAV at the context's rate with sound in it.
  await page.click('#record');
  await page.waitForFunction(() => document.getElementById('record').textContent === 'Stop');
  await page.keyboard.down('z');
  await page.keyboard.down('e');
  await new Promise((resolve) => setTimeout(resolve, 400));
  await page.keyboard.up('z');
  await page.keyboard.up('e');
  await page.click('#record');
  await page.waitForFunction(() => window.orvo.test.wav, { timeout: 10000 });
  const wavPath = join(work, 'recorded.wav');
  writeFileSync(wavPath, Buffer.from(await page.evaluate(() => {
    const bytes = window.orvo.test.wav;
    let text = '';
    for (let i = 0; i < bytes.length; i += 8192) text += String.fromCharCode(...bytes.subarray(i, i + 8192));
    return btoa(text);
  }), 'base64'));
  const recorded = wavSamples(wavPath);
  const floats = new Float32Array(recorded.words.buffer);
  const peak = floats.reduce((m, v) => Math.max(m, Math.abs(v)), 0);
  const rate = await page.evaluate(() => new AudioContext().sampleRate);
  check(recorded.channels === 2 && recorded.rate === rate && floats.length >= 2 * 0.3 * rate && peak > 0.01,
    `the recording is a stereo WAV of what was played (${floats.length / 2} frames at ${recorded.rate} Hz, peak ${peak.toFixed(3)})`);

  // The picture at rest, so it is the same from run to run: the notes died
  // away on the meter and no button keeps the focus ring.
  await page.evaluate(() => document.activeElement?.blur());
  await page.waitForFunction(() => document.getElementById('level').value < 0.002, { timeout: 10000 });
  await page.screenshot({ path: screenshot });
  check(errors.length === 0, `no console or page error${errors.length ? `: ${errors.join('; ')}` : ''}`);
  check(outside.length === 0, `no request leaves the server${outside.length ? `: ${outside.join(' ')}` : ''}`);

  // A zoom or another screen: the form is made again at the new pixel
  // ratio, and follows a factory preset's values from there (gestures
  // start where the form shows them, so a form that missed the preset
  // lands elsewhere).
  await page.setViewport({ width: 960, height: 560, deviceScaleFactor: 2 });
  await page.screenshot();  // headless Chromium renders, and so re-evaluates media queries, only when asked
  await page.waitForFunction(() => document.getElementById('editor').width === 930, { timeout: 5000 }).catch(() => {});
  await page.select('#preset', '1');
  await editorGestures(page, 2);
  check(errors.length === 0, `no console or page error at scale 2${errors.length ? `: ${errors.join('; ')}` : ''}`);
} finally {
  await browser.close();
  server.kill();
  rmSync(profile, { recursive: true, force: true });
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
