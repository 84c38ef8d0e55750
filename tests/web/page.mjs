// SPDX-License-Identifier: MIT
// The page in Debian's headless Chromium, served from the loopback by
// scripts/serve-web.sh: it loads without a console or page error,
// renderMidi gives orvo-render's samples, computer keys reach the worklet
// as notes, and a screenshot of it goes to the path given.
//   node page.mjs WEB_DIR ORVO_RENDER SCREENSHOT WORK MIDI...   (77: no web build or no puppeteer-core)
import { spawn, spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
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

  await page.screenshot({ path: screenshot });
  check(errors.length === 0, `no console or page error${errors.length ? `: ${errors.join('; ')}` : ''}`);
  check(outside.length === 0, `no request leaves the server${outside.length ? `: ${outside.join(' ')}` : ''}`);
} finally {
  await browser.close();
  server.kill();
  rmSync(profile, { recursive: true, force: true });
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
