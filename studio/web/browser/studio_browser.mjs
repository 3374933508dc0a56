// The studio in a real browser (Debian's Chromium, headless), used as a person would: edit a
// model and see the error at its line, simulate and go back, check Fischer's properties, step
// through a counterexample. Screenshots go to the --screenshots folder.
//   node studio_browser.mjs --studio build/quorix-studio --chromium /usr/bin/chromium \
//        --examples examples --screenshots build/studio-screenshots
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { cpSync, mkdtempSync, mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { parseArgs } from 'node:util';
import puppeteer from 'puppeteer-core';

const { values: args } = parseArgs({
  options: {
    studio: { type: 'string' },
    chromium: { type: 'string', default: '/usr/bin/chromium' },
    examples: { type: 'string' },
    screenshots: { type: 'string' },
  },
});

let studio, browser, page, folder;

before(async () => {
  folder = mkdtempSync(join(tmpdir(), 'studio-browser-'));
  cpSync(args.examples, folder, { recursive: true });
  // Seven independent clocks: far too many zones to explore before a person cancels.
  const processes = [...Array(7).keys()].map((k) => `process P${k} { clock x; state A { x <= ${k + 2} }, ` +
    `B { x <= ${k + 3} }; init A; trans A -> B { guard x >= 1; assign x := 0; }, B -> A { guard x >= 1; assign x := 0; }; }`);
  writeFileSync(join(folder, 'slow.gta'), `int[0,1] never := 0;\n${processes.join('\n')}\nsystem ${[...Array(7).keys()].map((k) => `P${k}`).join(', ')};\n`);
  mkdirSync(args.screenshots, { recursive: true });
  studio = spawn(args.studio, [folder], { stdio: ['ignore', 'pipe', 'inherit'] });
  const url = await new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error(`the studio printed no address: ${out}`)), 20000);
    studio.stdout.on('data', (data) => {
      out += data;
      const match = /Open (http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+)/.exec(out);
      if (match) {
        clearTimeout(timer);
        resolve(match[1]);
      }
    });
    studio.on('exit', (code) => reject(new Error(`the studio ended (${code}): ${out}`)));
  });
  browser = await puppeteer.launch({
    executablePath: args.chromium,
    headless: true,
    // Root (as in CI) cannot use Chromium's sandbox.
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run'],
  });
  page = await browser.newPage();
  page.setDefaultTimeout(60000);
  page.setDefaultNavigationTimeout(120000);
  await page.setViewport({ width: 1400, height: 860 });
  page.on('pageerror', (error) => console.error('page error:', error.message));
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]');
  await page.waitForSelector('#automata figure.process');
});

after(async () => {
  await browser?.close();
  studio?.kill('SIGTERM');
  if (folder) rmSync(folder, { recursive: true, force: true });
});

const shot = (name) => page.screenshot({ path: join(args.screenshots, `${name}.png`) });
const texts = (selector) => page.$$eval(selector, (all) => all.map((e) => e.textContent.trim()));
// The highlighted location of each process in the automata drawing.
const highlighted = () => page.$$eval('#automata figure.process', (figures) =>
  figures.map((f) => f.querySelector('g.location.current text.name')?.textContent ?? null));
const tab = async (name) => {
  await page.click(`#tabs button[data-tab="${name}"]`);
  await page.waitForSelector(`#tab-${name}.active`);
};
const historyAt = () => page.$eval('#history li.current', (li) => [...li.parentNode.children].indexOf(li));

test('the opened model is drawn, one automaton per process', async () => {
  assert.equal(await page.$eval('#file-name', (e) => e.value), 'fischer.gta');
  assert.deepEqual(await texts('#automata figcaption'), ['P1', 'P2', 'P3']);
  const p1 = await page.$$eval('#automata figure.process:first-child text.name', (all) => all.map((t) => t.textContent));
  assert.deepEqual(p1.sort(), ['A', 'cs', 'req', 'wait']);
  assert.equal((await texts('#automata figure.process:first-child text.invariant'))[0], 'P1.x<=2');
  assert.equal(await page.$$eval('#automata figure.process:first-child g.edge', (all) => all.length), 5);
});

test('an error in the model shows at its line with the reader message', async () => {
  // Line 13 is "req -> wait { ... }" of P1; its target becomes an unknown location.
  const line = (await page.$$('.cm-content .cm-line'))[12];
  assert.match(await line.evaluate((e) => e.textContent), /req -> wait/);
  const text = await line.evaluate((e) => e.textContent);
  await line.click();
  // Home goes to the first character after the indentation.
  await page.keyboard.press('Home');
  for (let k = 0; k < text.trimStart().indexOf('wait'); ++k) await page.keyboard.press('ArrowRight');
  await page.keyboard.type('nowhere');
  await page.waitForSelector('#errors li');
  const errors = await page.$$eval('#errors li', (all) => all.map((li) => ({ line: li.dataset.line, text: li.textContent })));
  assert.equal(errors.length, 1);
  assert.equal(errors[0].line, '13');
  assert.match(errors[0].text, /^Line 13: /);
  // The editor marks the same line.
  await page.waitForSelector('.cm-lintRange-error');
  const marked = await page.$eval('.cm-lintRange-error', (e) => e.closest('.cm-line').textContent);
  assert.match(marked, /req -> nowherewait/);
  assert.match(await page.$eval('#status', (e) => e.textContent), /1 error/);
  await shot('editor-error');
  for (let k = 0; k < 'nowhere'.length; ++k) await page.keyboard.press('Backspace');
  await page.waitForFunction(() => document.querySelectorAll('#errors li').length === 0);
  await page.waitForFunction(() => /Model read/.test(document.querySelector('#status').textContent));
});

test('the simulator fires transitions, goes back and forth, and highlights the locations', async () => {
  await tab('simulator');
  await page.waitForFunction(() => document.querySelectorAll('#transitions button').length === 3);
  assert.deepEqual(await highlighted(), ['A', 'A', 'A']);
  const enabled = await texts('#transitions button');
  assert.deepEqual(enabled.map((t) => t.split('  ')[0]), ['P1: A \u2192 req', 'P2: A \u2192 req', 'P3: A \u2192 req']);
  assert.deepEqual(await texts('#state-vars td'), ['0']);

  const fire = async (label) => {
    const buttons = await page.$$('#transitions button');
    const labels = await Promise.all(buttons.map((b) => b.evaluate((e) => e.textContent)));
    const k = labels.findIndex((l) => l.startsWith(label));
    assert.ok(k >= 0, `${label} is not enabled: ${labels.join(' | ')}`);
    const steps = (await texts('#history li')).length;
    await buttons[k].click();
    await page.waitForFunction((n) => document.querySelectorAll('#history li').length === n, {}, steps + 1);
  };
  await fire('P1: A \u2192 req');
  assert.deepEqual(await highlighted(), ['req', 'A', 'A']);
  assert.ok((await texts('#state-zone li')).includes('P1.x <= 2'));
  await fire('P2: A \u2192 req');
  assert.deepEqual(await highlighted(), ['req', 'req', 'A']);
  await fire('P1: req \u2192 wait');
  assert.deepEqual(await highlighted(), ['wait', 'req', 'A']);
  assert.deepEqual(await texts('#state-vars td'), ['1']);
  // id is 1 now: P3 may no longer leave A, and P1 enters cs only after more than K.
  assert.ok(!(await texts('#transitions button')).some((t) => t.startsWith('P3')));

  const current = (label) => page.waitForFunction((l) =>
    document.querySelector('#history li.current')?.textContent.startsWith(l), {}, label);
  await page.click('#sim-back');
  await current('P2: A \u2192 req');
  assert.deepEqual(await highlighted(), ['req', 'req', 'A']);
  await page.click('#sim-back');
  await current('P1: A \u2192 req');
  assert.deepEqual(await highlighted(), ['req', 'A', 'A']);
  await page.click('#sim-forward');
  await current('P2: A \u2192 req');
  assert.equal(await historyAt(), 2);
  assert.deepEqual(await texts('#state-vars td'), ['0']);
  // The chart has a row per step and marks the current one.
  assert.equal(await page.$$eval('#msc g.step', (all) => all.length), 4);
  assert.equal(await page.$eval('#msc g.step.current', (g) => g.dataset.step), '2');
  await shot('simulator');

  await page.$eval('#random-steps', (e) => (e.value = '8'));
  await page.click('#sim-random');
  await page.waitForFunction(() => /Random run/.test(document.querySelector('#status').textContent));
  assert.equal((await texts('#history li')).length, 3 + 8);  // Fischer never deadlocks
});

test('every property of fischer.q is checked with the verdict worked out by hand', async () => {
  await tab('verifier');
  assert.equal((await texts('#results tbody tr')).length, 6);
  await page.click('#check-all');
  await page.waitForFunction(() => [...document.querySelectorAll('#results td.verdict')]
    .every((td) => ['T', 'F', 'M', 'error', 'cancelled'].includes(td.dataset.verdict)), { timeout: 120000 });
  const rows = await page.$$eval('#results tbody tr', (all) => all.map((tr) => ({
    property: tr.querySelector('code').textContent,
    verdict: tr.querySelector('td.verdict').dataset.verdict,
    statistics: tr.querySelector('td.statistics').textContent,
  })));
  // Mutual exclusion holds (waiting more than K after writing at most K), each process can
  // enter, time never stops; but P1 may wait for ever while the others take turns.
  assert.deepEqual(rows.map((r) => [r.property, r.verdict]), [
    ['A[] not (P1.cs and P2.cs)', 'T'],
    ['A[] not (P1.cs and P3.cs) and not (P2.cs and P3.cs)', 'T'],
    ['E<> P1.cs', 'T'],
    ['E<> P3.cs and P3.x > 2', 'T'],
    ['A[] not deadlock', 'T'],
    ['P1.req --> P1.cs', 'F'],
  ]);
  assert.ok(rows.every((r) => /\d+\.\d\d s/.test(r.statistics)), rows.map((r) => r.statistics).join(' | '));
  await shot('verifier');
});

test('a counterexample opens in the simulator and steps through', async () => {
  const buttons = await page.$$('#results tbody tr');
  const traceButton = await buttons[5].$('button.show-trace');
  assert.ok(traceButton, 'the leads-to counterexample has a trace');
  await traceButton.click();
  await page.waitForSelector('#tab-simulator.active');
  await page.waitForFunction(() => /Trace loaded/.test(document.querySelector('#status').textContent));
  const steps = (await texts('#history li')).length;
  assert.ok(steps >= 2);
  assert.equal(await page.$$eval('#msc g.step', (all) => all.length), steps);
  assert.deepEqual(await texts('#msc .lifeline-name'), ['P1', 'P2', 'P3']);
  assert.deepEqual(await highlighted(), ['A', 'A', 'A']);
  // Step to the end: P1 requests and, once it has, never reaches cs.
  const seen = [await highlighted()];
  for (let k = 1; k < steps; ++k) {
    await page.click('#sim-forward');
    await page.waitForFunction((n) => document.querySelector('#msc g.step.current')?.dataset.step === String(n), {}, k);
    seen.push(await highlighted());
  }
  const requested = seen.findIndex((l) => l[0] === 'req');
  assert.ok(requested > 0, JSON.stringify(seen));
  assert.ok(seen.slice(requested).every((l) => l[0] !== 'cs'), JSON.stringify(seen));
  assert.equal(await page.$eval('#sim-forward', (b) => b.disabled), true);
  await shot('counterexample');
});

test('a synchronisation fires both edges and is an arrow in the chart', async () => {
  await tab('editor');
  await page.select('#file-list', 'train_crossing.gta');
  await page.click('#open-file');
  await page.waitForFunction(() => /Opened train_crossing.gta and train_crossing.q/.test(document.querySelector('#status').textContent));
  assert.deepEqual(await texts('#automata figcaption'), ['Train1', 'Train2', 'Gate']);
  // The gate's committed location carries its mark.
  assert.deepEqual(await texts('#automata figure.process[data-process="Gate"] text.mark-text'), ['C']);
  await tab('simulator');
  await page.waitForFunction(() => document.querySelectorAll('#transitions button').length === 2);
  const [first] = await texts('#transitions button');
  assert.match(first, /^Train1: Far \u2192 Near  \{appr!; Train1\.x:=0\}  \u2194  Gate: Up \u2192 Lowering  \{appr\?; /);
  await page.click('#transitions li:first-child button');
  await page.waitForFunction(() => document.querySelectorAll('#history li').length === 2);
  assert.deepEqual(await highlighted(), ['Near', 'Far', 'Lowering']);
  assert.deepEqual(await texts('#state-vars td'), ['1']);
  assert.equal(await page.$$eval('#msc line.message', (all) => all.length), 1);
  assert.deepEqual(await texts('#msc text.channel'), ['appr']);
  // The arrow goes from the train's lifeline to the gate's.
  const [from, to] = await page.$eval('#msc line.message', (l) => [Number(l.getAttribute('x1')), Number(l.getAttribute('x2'))]);
  const lifelines = await page.$$eval('#msc line.lifeline', (all) => all.map((l) => Number(l.getAttribute('x1'))));
  assert.deepEqual([from, to], [lifelines[0], lifelines[2]]);
  await shot('synchronisation');
});

test('a model is saved into the folder, and a long check is cancelled', async () => {
  await tab('editor');
  const model = readFileSync(join(folder, 'train_crossing.gta'), 'utf8');
  await page.$eval('#file-name', (e) => (e.value = ''));
  await page.type('#file-name', 'mine.gta');
  await page.click('#save-model');
  await page.waitForFunction(() => /Saved mine\.gta/.test(document.querySelector('#status').textContent));
  assert.equal(readFileSync(join(folder, 'mine.gta'), 'utf8'), model);

  await page.select('#file-list', 'slow.gta');
  await page.click('#open-file');
  await page.waitForFunction(() => document.querySelectorAll('#automata figcaption').length === 7);
  await tab('verifier');
  await page.$eval('#queries', (e) => (e.value = ''));
  await page.type('#queries', 'E<> never == 1\nE<> P6.B\n');
  await page.click('#results tbody tr:first-child button.check');
  await page.waitForFunction(() => /Checking E<> never == 1: \d/.test(document.querySelector('#progress-text').textContent));
  await shot('progress');
  await page.click('#cancel-check');
  await page.waitForFunction(() => document.querySelector('#results td.verdict').dataset.verdict === 'cancelled');
  // The fresh server has the model: the next check answers.
  await page.click('#results tbody tr:nth-child(2) button.check');
  await page.waitForFunction(() => document.querySelectorAll('#results td.verdict')[1].dataset.verdict === 'T');
});
