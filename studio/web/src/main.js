// QUORIX Studio's page: the editor, the automata, the simulator and the verifier, all speaking
// the protocol to this browser session's own quorix-server through the studio.
import './style.css';
import { EditorView, basicSetup } from 'codemirror';
import { StreamLanguage } from '@codemirror/language';
import { lintGutter, setDiagnostics } from '@codemirror/lint';
import { Client, ReplyError, parseDiagnostics, zoneText } from './protocol.js';
import { parseNetwork, describeTransition } from './network.js';
import { drawNetwork, drawChart } from './drawing.js';

const $ = (selector) => document.querySelector(selector);
const token = new URLSearchParams(location.search).get('token') ?? '';

class Cancelled extends Error {}

// ---- talking to the studio ----

async function api(method, path, body) {
  const response = await fetch(path, {
    method,
    headers: { 'X-Quorix-Token': token, 'Content-Type': 'text/plain' },
    body,
  });
  return response;
}

let sessionId = null;
async function send(requestText) {
  const response = await api('POST', `/api/sessions/${sessionId}/request`, requestText);
  const body = await response.text();
  if (response.status === 409) throw new Cancelled('cancelled');
  if (!response.ok) throw new Error(body.trim());
  return body;
}
const client = new Client(send);

function say(message, isError = false) {
  const status = $('#status');
  status.textContent = message;
  status.classList.toggle('error', isError);
}

// Runs a user action; failures show in the status line instead of being lost.
async function act(action) {
  try {
    await action();
  } catch (error) {
    if (error instanceof Cancelled) say('Cancelled.');
    else say(error.message, true);
  }
}

// ---- the model ----

const gtaLanguage = StreamLanguage.define({
  token(stream) {
    if (stream.eatSpace()) return null;
    if (stream.match('//')) {
      stream.skipToEnd();
      return 'comment';
    }
    if (stream.match(/^(process|state|init|trans|guard|sync|assign|commit|urgent|clock|int|chan|const|system|hide|rate)\b/)) return 'keyword';
    if (stream.match(/^\d+/)) return 'number';
    if (stream.match(/^(:=|->|==|!=|<=|>=|&&|\|\||[-+*/<>!?=])/)) return 'operator';
    if (stream.match(/^[A-Za-z_]\w*/)) return 'variableName';
    stream.next();
    return 'punctuation';
  },
});

let readTimer = null;
const editor = new EditorView({
  parent: $('#editor'),
  extensions: [
    basicSetup,
    EditorView.lineWrapping,
    gtaLanguage,
    lintGutter(),
    EditorView.updateListener.of((update) => {
      if (!update.docChanged) return;
      clearTimeout(readTimer);
      readTimer = setTimeout(() => act(readModel), 400);
    }),
  ],
});

const model = {
  network: [],      // from the reader, for drawing and naming
  readText: null,   // the text the network belongs to
  uploaded: null,   // the text the server has
  clocks: ['t(0)'],
  integers: [],
  highlight: () => {},
};

// Reads the editor's model with the reader: errors at their lines, or the automata.
async function readModel() {
  const text = editor.state.doc.toString();
  if (text === model.readText) return model.accepted;
  const response = await api('POST', '/api/model', text);
  if (!response.ok) throw new Error((await response.text()).trim());
  const read = await response.json();
  if (text !== editor.state.doc.toString()) return false;  // edited meanwhile: a newer read follows
  const errors = parseDiagnostics(read.diagnostics);
  const doc = editor.state.doc;
  editor.dispatch(setDiagnostics(editor.state, errors.map(({ line, message }) => {
    const at = doc.line(Math.min(Math.max(line, 1), doc.lines));
    return { from: at.from, to: at.to, severity: 'error', message };
  })));
  $('#errors').replaceChildren(...errors.map(({ line, message }) => {
    const item = document.createElement('li');
    item.textContent = `Line ${line}: ${message}`;
    item.dataset.line = line;
    item.addEventListener('click', () => {
      const at = doc.line(Math.min(line, doc.lines));
      editor.dispatch({ selection: { anchor: at.from }, scrollIntoView: true });
      editor.focus();
    });
    return item;
  }));
  model.readText = text;
  model.accepted = read.accepted;
  if (read.accepted) {
    model.network = parseNetwork(read.dot);
    model.highlight = await drawNetwork($('#automata'), model.network);
    say(`Model read: ${model.network.length} processes.`);
  } else {
    say(errors.length ? `${errors.length} error(s) in the model.` : 'The model was rejected.', true);
  }
  return read.accepted;
}

// Makes sure the server has the editor's model; false when the model has errors.
async function uploadModel() {
  const text = editor.state.doc.toString();
  if (text === model.uploaded) return true;
  if (!(await readModel())) {
    showTab('editor');
    return false;
  }
  const system = await client.newSystem(text);
  model.uploaded = text;
  model.clocks = system.clocks;
  model.integers = system.integers;
  sim.steps = [];
  return true;
}

function setModel(text) {
  editor.dispatch({ changes: { from: 0, to: editor.state.doc.length, insert: text } });
}

// ---- files ----

async function listFiles() {
  const response = await api('GET', '/api/files');
  const { files } = await response.json();
  $('#file-list').replaceChildren(...files.filter((f) => /\.(gta|q)$/.test(f)).map((name) => {
    const option = document.createElement('option');
    option.value = option.textContent = name;
    return option;
  }));
}

async function readFile(name) {
  const response = await api('GET', `/api/file?path=${encodeURIComponent(name)}`);
  if (!response.ok) throw new Error(`${name}: ${(await response.text()).trim()}`);
  return response.text();
}

async function openFile(name) {
  if (name.endsWith('.q')) {
    $('#queries').value = await readFile(name);
    renderProperties();
    say(`Opened ${name}.`);
    return;
  }
  setModel(await readFile(name));
  $('#file-name').value = name;
  // The properties file of the same name comes along.
  const queries = name.replace(/\.gta$/, '.q');
  const hasQueries = [...$('#file-list').options].some((o) => o.value === queries);
  if (hasQueries) {
    $('#queries').value = await readFile(queries);
    renderProperties();
  }
  await readModel();
  say(`Opened ${name}${hasQueries ? ' and ' + queries : ''}.`);
}

async function saveFile(name, content) {
  const response = await api('PUT', `/api/file?path=${encodeURIComponent(name)}`, content);
  if (!response.ok) throw new Error(`${name}: ${(await response.text()).trim()}`);
  await listFiles();
  say(`Saved ${name}.`);
}

// ---- tabs ----

function showTab(name) {
  document.querySelectorAll('#tabs button').forEach((b) => b.classList.toggle('active', b.dataset.tab === name));
  document.querySelectorAll('.tab').forEach((t) => t.classList.toggle('active', t.id === `tab-${name}`));
  // The one drawing of the automata moves to the tab that shows it.
  const slot = document.querySelector(`.slot[data-slot="${name}"]`);
  if (slot) slot.appendChild($('#automata'));
}

// ---- the simulator ----

const sim = { steps: [], at: 0, enabled: [] };

const stateZone = (state) => zoneText(state.constraints, model.clocks);

async function simStart(steps = null) {
  if (!(await uploadModel())) return;
  if (steps) {
    sim.steps = steps;
  } else {
    const initial = await client.initialState();
    if (!initial) throw new Error('The model has no initial state.');
    sim.steps = [{ state: initial, transitions: null }];
  }
  sim.at = 0;
  await simShow();
}

async function simShow() {
  const step = sim.steps[sim.at];
  sim.enabled = await client.transitions(step.state);
  const list = $('#transitions');
  list.replaceChildren(...sim.enabled.map((entry) => {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.textContent = entry.transitions.map((t) => describeTransition(model.network, t)).join('  \u2194  ');
    button.addEventListener('click', () => act(() => simFire(entry)));
    item.appendChild(button);
    return item;
  }));
  if (!sim.enabled.length) {
    const item = document.createElement('li');
    item.className = 'deadlock';
    item.textContent = 'No transition enabled (deadlock).';
    list.appendChild(item);
  }
  const network = model.network;
  $('#history').replaceChildren(...sim.steps.map((s, k) => {
    const item = document.createElement('li');
    item.textContent = s.transitions
      ? s.transitions.map((t) => describeTransition(network, t)).join('  \u2194  ')
      : 'initial state';
    if (s.loop) item.classList.add('loop');
    if (k === sim.at) item.classList.add('current');
    item.addEventListener('click', () => act(() => simGo(k)));
    return item;
  }));
  $('#state-locations').replaceChildren(...step.state.locations.map((location, p) => {
    const row = document.createElement('tr');
    row.innerHTML = '<th></th><td></td>';
    row.children[0].textContent = network[p]?.name ?? `process ${p}`;
    row.children[1].textContent = network[p]?.locations[location]?.name ?? String(location);
    return row;
  }));
  const zone = stateZone(step.state);
  $('#state-zone').replaceChildren(...(zone.length ? zone : ['no constraint']).map((c) => {
    const item = document.createElement('li');
    item.textContent = c;
    return item;
  }));
  $('#state-vars').replaceChildren(...step.state.integers.map((value, k) => {
    const row = document.createElement('tr');
    row.innerHTML = '<th></th><td></td>';
    row.children[0].textContent = model.integers[k] ?? `cell ${k}`;
    row.children[1].textContent = String(value);
    return row;
  }));
  $('#sim-back').disabled = sim.at === 0;
  $('#sim-forward').disabled = sim.at + 1 >= sim.steps.length;
  model.highlight(step.state.locations, step.transitions ?? []);
  drawChart($('#msc'), network, sim.steps, sim.at, (s) => stateZone(s).join(', '), (k) => act(() => simGo(k)));
}

async function simFire(entry) {
  const from = sim.steps[sim.at];
  const state = await client.successor(from.state, entry.transitions);
  sim.steps = sim.steps.slice(0, sim.at + 1);
  sim.steps.push({ state, transitions: entry.transitions });
  sim.at += 1;
  await simShow();
}

async function simGo(k) {
  if (k < 0 || k >= sim.steps.length) return;
  sim.at = k;
  await simShow();
}

async function simRandom(count) {
  if (!sim.steps.length) await simStart();
  sim.steps = sim.steps.slice(0, sim.at + 1);
  let taken = 0;
  for (; taken < count; ++taken) {
    const current = sim.steps.at(-1);
    const enabled = await client.transitions(current.state);
    if (!enabled.length) break;
    const entry = enabled[Math.floor(Math.random() * enabled.length)];
    sim.steps.push({ state: entry.state, transitions: entry.transitions });
  }
  sim.at = sim.steps.length - 1;
  await simShow();
  say(`Random run: ${taken} step(s)${taken < count ? ', then deadlock' : ''}.`);
}

// ---- the verifier ----

const verdictText = { T: 'satisfied', F: 'not satisfied', M: 'maybe satisfied' };
let properties = [];

function renderProperties() {
  const lines = $('#queries').value.split('\n').map((l) => l.trim());
  properties = lines.filter((l) => l !== '' && !l.startsWith('//')).map((text) => ({ text }));
  $('#results tbody').replaceChildren(...properties.map((property) => {
    const row = document.createElement('tr');
    row.innerHTML = '<td class="property"><code></code></td><td><button class="check">Check</button></td>' +
      '<td class="verdict"></td><td class="statistics"></td><td class="trace"></td>';
    row.querySelector('code').textContent = property.text;
    row.querySelector('.check').addEventListener('click', () => act(() => check(property)));
    property.row = row;
    return row;
  }));
}

function options() {
  const form = $('#options');
  const value = (name) => form.querySelector(`[name=${name}]`);
  return {
    order: Number(value('order').value),
    reduction: Number(value('reduction').value),
    representation: Number(value('representation').value),
    reuse: value('reuse').checked,
    activeClocks: value('activeClocks').checked,
    trace: value('trace').checked,
  };
}

const sentOptions = {};  // what the server has been told
let checking = null;  // {startedAt, peakKB, timer} while a check runs

async function pollProgress() {
  if (!checking) return;
  const response = await api('GET', `/api/sessions/${sessionId}/progress`);
  if (!response.ok || !checking) return;
  const progress = await response.json();
  checking.peakKB = Math.max(checking.peakKB, progress.memoryKB);
  const seconds = (performance.now() - checking.startedAt) / 1000;
  $('#progress-text').textContent =
    `Checking ${checking.text}: ${seconds.toFixed(1)} s, ${progress.cpuSeconds.toFixed(1)} s CPU, ` +
    `${(progress.memoryKB / 1024).toFixed(1)} MB`;
}

async function check(property) {
  if (checking) return;
  if (!(await uploadModel())) return;
  // Only changed options are sent: setting trace again, even to the same value, would drop
  // what `reuse` keeps.
  const wanted = options();
  const changed = Object.fromEntries(Object.entries(wanted).filter(([name, value]) => sentOptions[name] !== value));
  if (Object.keys(changed).length) {
    await client.setOptions(changed);
    Object.assign(sentOptions, changed);
  }
  const row = property.row;
  const verdict = row.querySelector('.verdict');
  verdict.textContent = 'checking\u2026';
  verdict.dataset.verdict = '';
  row.querySelector('.statistics').textContent = '';
  row.querySelector('.trace').replaceChildren();
  checking = { text: property.text, startedAt: performance.now(), peakKB: 0 };
  checking.timer = setInterval(() => pollProgress().catch(() => {}), 250);
  $('#progress').hidden = false;
  $('#cancel-check').disabled = false;
  document.querySelectorAll('button.check, #check-all').forEach((b) => (b.disabled = true));
  let result = null;
  try {
    await pollProgress();
    result = await client.check(property.text);
  } catch (error) {
    verdict.textContent = error instanceof Cancelled ? 'cancelled' : error instanceof ReplyError ? error.message : 'failed';
    verdict.dataset.verdict = error instanceof Cancelled ? 'cancelled' : 'error';
    if (!(error instanceof ReplyError)) throw error;
  } finally {
    const seconds = (performance.now() - checking.startedAt) / 1000;
    const peak = checking.peakKB;
    clearInterval(checking.timer);
    checking = null;
    $('#progress').hidden = true;
    $('#cancel-check').disabled = true;
    document.querySelectorAll('button.check, #check-all').forEach((b) => (b.disabled = false));
    const stats = [`${seconds.toFixed(2)} s`];
    if (peak) stats.push(`${(peak / 1024).toFixed(1)} MB peak`);
    if (result?.path.length || result?.loop.length)
      stats.push(`trace of ${result.path.length + result.loop.length} steps${result.loop.length ? ` (${result.loop.length} in the loop)` : ''}`);
    row.querySelector('.statistics').textContent = stats.join(', ');
  }
  if (!result) return;
  verdict.textContent = `${verdictText[result.verdict]} (${result.verdict})`;
  verdict.dataset.verdict = result.verdict;
  row.classList.remove('T', 'F', 'M');
  row.classList.add(result.verdict);
  if (result.path.length + result.loop.length > 0) {
    const button = document.createElement('button');
    button.textContent = 'Show trace';
    button.className = 'show-trace';
    button.addEventListener('click', () => act(() => showTrace(result)));
    row.querySelector('.trace').appendChild(button);
  }
  say(`${property.text}: ${verdictText[result.verdict]}.`);
}

async function checkAll() {
  renderProperties();
  for (const property of properties) {
    await check(property);
    if (property.row.querySelector('.verdict').dataset.verdict === 'cancelled') break;
  }
}

// A trace starts in the initial state (the server's start state after a delay).
async function showTrace(result) {
  const initial = await client.initialState();
  const steps = [{ state: initial, transitions: null },
    ...result.path.map((s) => ({ ...s })), ...result.loop.map((s) => ({ ...s, loop: true }))];
  showTab('simulator');
  await simStart(steps);
  say(`Trace loaded: ${steps.length - 1} steps${result.loop.length ? `, the last ${result.loop.length} repeat for ever` : ''}.`);
}

// ---- start ----

function wire() {
  document.querySelectorAll('#tabs button').forEach((b) =>
    b.addEventListener('click', () => act(async () => {
      showTab(b.dataset.tab);
      if (b.dataset.tab === 'simulator' && (!sim.steps.length || editor.state.doc.toString() !== model.uploaded)) await simStart();
    })));
  $('#open-file').addEventListener('click', () => act(() => openFile($('#file-list').value)));
  $('#save-model').addEventListener('click', () => act(() => saveFile($('#file-name').value.trim(), editor.state.doc.toString())));
  $('#save-queries').addEventListener('click', () =>
    act(() => saveFile($('#file-name').value.trim().replace(/\.gta$/, '') + '.q', $('#queries').value)));
  $('#sim-reset').addEventListener('click', () => act(() => simStart()));
  $('#sim-back').addEventListener('click', () => act(() => simGo(sim.at - 1)));
  $('#sim-forward').addEventListener('click', () => act(() => simGo(sim.at + 1)));
  $('#sim-random').addEventListener('click', () => act(() => simRandom(Math.max(1, Number($('#random-steps').value) || 1))));
  $('#queries').addEventListener('input', renderProperties);
  $('#check-all').addEventListener('click', () => act(checkAll));
  $('#cancel-check').addEventListener('click', () => act(() => api('POST', `/api/sessions/${sessionId}/cancel`)));
  window.addEventListener('pagehide', () => {
    if (sessionId) navigator.sendBeacon(`/api/sessions/${sessionId}/close?token=${encodeURIComponent(token)}`);
  });
}

async function start() {
  wire();
  showTab('editor');
  const response = await api('POST', '/api/sessions');
  if (!response.ok) throw new Error(`No session: ${(await response.text()).trim()}`);
  sessionId = (await response.json()).session;
  await listFiles();
  const first = [...$('#file-list').options].find((o) => o.value.endsWith('.gta'));
  if (first) {
    $('#file-list').value = first.value;
    await openFile(first.value);
  }
  document.body.dataset.ready = 'true';
}

act(start);
