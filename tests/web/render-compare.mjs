// SPDX-License-Identifier: MIT
// The Node renderer against orvo-render --bits 32f: the same samples for
// every file, at each rate, with the automatic tail and with a fixed one;
// a file orvo-render refuses is refused too.
//   node render-compare.mjs ORVO_RENDER WEB_DIR WORK_DIR FILE...   (77: no web build)
import { spawnSync } from 'node:child_process';
import { existsSync, mkdirSync } from 'node:fs';
import { basename, join } from 'node:path';
import { wavSamples, firstDifference } from './wav-samples.mjs';

const [nativeRender, webDir, work, ...files] = process.argv.slice(2);
if (!existsSync(join(webDir, 'orvo.wasm'))) {
  console.log(`no web build in ${webDir}: skipped`);
  process.exit(77);
}
mkdirSync(work, { recursive: true });
const run = (command, args) => spawnSync(command, args, { encoding: 'utf8' });
let failed = 0;
let passed = 0;
for (const file of files) {
  for (const rate of ['44100', '48000']) {
    for (const tail of [[], ['--tail', '0.5']]) {
      const what = `${basename(file)} at ${rate} Hz${tail.length ? ', tail 0.5 s' : ''}`;
      const native = join(work, 'native.wav'), web = join(work, 'web.wav');
      const a = run(nativeRender, ['--midi', file, '-o', native, '--bits', '32f', '--rate', rate, '--quiet', ...tail]);
      const b = run(process.execPath, [join(webDir, 'orvo-render.mjs'), '--midi', file, '-o', web, '--rate', rate, '--quiet', ...tail]);
      let problem = '';
      if ((a.status === 0) !== (b.status === 0)) problem = `orvo-render exits ${a.status}, the Node renderer ${b.status}: ${a.stderr}${b.stderr}`;
      else if (a.status === 0) {
        const x = wavSamples(native), y = wavSamples(web);
        const at = firstDifference(x.words, y.words);
        if (x.rate !== y.rate || x.channels !== y.channels) problem = `rate or channels differ`;
        else if (at >= 0) problem = `samples differ from word ${at} (${x.words.length} against ${y.words.length} words)`;
      }
      if (problem) { ++failed; console.log(`FAIL ${what}: ${problem}`); }
      else { ++passed; console.log(`ok   ${what}${a.status === 0 ? '' : ' (refused by both)'}`); }
    }
  }
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
