// The server's protocol from the page's side: request texts, and replies parsed into plain
// objects (states, transition lists, check results). Nothing here talks to the network; a
// Client is given a function that sends one request text and resolves to the reply text.

export class ReplyError extends Error {
  constructor(message) {
    super(message);
    this.name = 'ReplyError';
  }
}

// Line reader over a reply's body.
class Lines {
  constructor(lines) {
    this.lines = lines;
    this.at = 0;
  }
  next() {
    if (this.at >= this.lines.length) throw new ReplyError('reply ends too early');
    return this.lines[this.at++];
  }
  peek() {
    return this.lines[this.at];
  }
  number() {
    const line = this.next();
    if (!/^-?\d+$/.test(line)) throw new ReplyError(`number expected, not '${line}'`);
    return Number(line);
  }
  expectEnd() {
    const line = this.next();
    if (line !== '.') throw new ReplyError(`'.' expected, not '${line}'`);
  }
}

// Splits a reply into {ok, body (lines after ok/error), message (error text)}. An error
// reply's message is every line between "error" and the closing ".".
export function splitReply(text) {
  const lines = text.split('\n');
  if (lines.at(-1) === '') lines.pop();
  if (lines[0] === 'ok') return { ok: true, body: lines.slice(1), message: '' };
  if (lines[0] === 'error' && lines.at(-1) === '.') {
    const message = lines.slice(1, -1).join('\n').replace(/\n+$/, '');
    return { ok: false, body: [], message };
  }
  throw new ReplyError(`not a reply: '${lines[0] ?? ''}'`);
}

function okBody(text) {
  const reply = splitReply(text);
  if (!reply.ok) throw new ReplyError(reply.message);
  return new Lines(reply.body);
}

// A state in state text: locations (one index per process), zone constraints {i, j, bound}
// where bound is the wire value (2c for x_i - x_j <= c, 2c+1 for < c), integer cells.
export function readState(lines) {
  const state = { locations: [], constraints: [], integers: [] };
  while (lines.peek() !== '.') state.locations.push(lines.number());
  lines.next();
  while (lines.peek() !== '.') {
    const i = lines.number(), j = lines.number(), bound = lines.number();
    lines.expectEnd();
    state.constraints.push({ i, j, bound });
  }
  lines.next();
  while (lines.peek() !== '.') state.integers.push(lines.number());
  lines.next();
  return state;
}

export function stateText(state) {
  let text = state.locations.map((l) => `${l}\n`).join('') + '.\n';
  for (const { i, j, bound } of state.constraints) text += `${i}\n${j}\n${bound}\n.\n`;
  text += '.\n' + state.integers.map((v) => `${v}\n`).join('') + '.\n';
  return text;
}

// Transition lines "process position+1" up to "."; edges come back counted from 0.
function readTransitions(lines) {
  const transitions = [];
  for (let line = lines.next(); line !== '.'; line = lines.next()) {
    const match = /^(\d+) (\d+)$/.exec(line);
    if (!match || Number(match[2]) < 1) throw new ReplyError(`transition expected, not '${line}'`);
    transitions.push({ process: Number(match[1]), edge: Number(match[2]) - 1 });
  }
  return transitions;
}

// newSystem: the integer cells' and clocks' names.
export function parseSystem(text) {
  const lines = okBody(text);
  const names = (line) => line.split(' ').filter((n) => n !== '');
  const integers = names(lines.next());
  const clocks = names(lines.next());
  lines.expectEnd();
  return { integers, clocks };
}

// getInitialState: the state, or null when the system has none.
export function parseInitialState(text) {
  const lines = okBody(text);
  if (lines.peek() === '.' && lines.lines.length === 1) return null;
  return readState(lines);
}

export function parseStateReply(text) {
  return readState(okBody(text));
}

// getTransitions: [{state (the successor), transitions: [{process, edge}]}].
export function parseTransitions(text) {
  const lines = okBody(text);
  const entries = [];
  while (lines.peek() !== '.') entries.push({ state: readState(lines), transitions: readTransitions(lines) });
  lines.next();
  return entries;
}

// modelCheck: {verdict: 'T' | 'F' | 'M', path: [step], loop: [step]}, a step being
// {state, transitions} (the state reached by taking the transitions).
export function parseCheck(text) {
  const lines = okBody(text);
  const verdict = lines.next();
  if (!['T', 'F', 'M'].includes(verdict)) throw new ReplyError(`verdict expected, not '${verdict}'`);
  const pathLength = lines.number(), loopLength = lines.number();
  const steps = [];
  for (let k = 0; k < pathLength + loopLength; ++k) {
    const state = readState(lines);
    steps.push({ state, transitions: readTransitions(lines) });
  }
  lines.expectEnd();
  return { verdict, path: steps.slice(0, pathLength), loop: steps.slice(pathLength) };
}

export function parseEmpty(text) {
  okBody(text).expectEnd();
}

// A text block may not hold a line that is only "." (it would end the block).
function block(text) {
  const clean = text.replace(/\r/g, '');
  if (/^\.$/m.test(clean)) throw new ReplyError("a line holding only '.' cannot be sent");
  return clean.endsWith('\n') ? clean : clean + '\n';
}

export const request = {
  newSystem: (model) => `newSystem\n${block(model)}.\n`,
  // options: {order, reduction, representation, reuse, activeClocks, trace}; booleans as 1/0.
  setOptions: (options) =>
    'setOptions\n' +
    Object.entries(options)
      .map(([name, value]) => `${name} ${typeof value === 'boolean' ? (value ? 1 : 0) : value}\n`)
      .join('') +
    '.\n',
  getInitialState: () => 'getInitialState\n',
  getTransitions: (state) => `getTransitions\n${stateText(state)}`,
  // transitions as in a getTransitions entry: one, or a synchronising pair.
  getSuccessor: (state, transitions) => {
    const refs = transitions.map((t) => `${t.process}\n${t.edge}\n`).join('');
    return `getSuccessor\n${stateText(state)}${transitions.length}\n${refs}.\n`;
  },
  startState: (state) => `startState\n${stateText(state)}`,
  // A property is one line.
  modelCheck: (property) => `modelCheck\n${block(property.replace(/\s*\n\s*/g, ' ').trim())}.\n`,
};

// The page's view of one server: each call sends a request and parses its reply.
export class Client {
  constructor(send) {
    this.send = send;
  }
  async newSystem(model) {
    return parseSystem(await this.send(request.newSystem(model)));
  }
  async setOptions(options) {
    parseEmpty(await this.send(request.setOptions(options)));
  }
  async initialState() {
    return parseInitialState(await this.send(request.getInitialState()));
  }
  async transitions(state) {
    return parseTransitions(await this.send(request.getTransitions(state)));
  }
  async successor(state, transitions) {
    return parseStateReply(await this.send(request.getSuccessor(state, transitions)));
  }
  async startState(state) {
    parseEmpty(await this.send(request.startState(state)));
  }
  async check(property) {
    return parseCheck(await this.send(request.modelCheck(property)));
  }
}

// The zone as readable constraints, with the clock names from newSystem (index 0 is the
// reference clock). A pair of bounds on one clock reads "2 <= x <= 5".
export function zoneText(constraints, clocks) {
  const name = (k) => clocks[k] ?? `x${k}`;
  const value = (bound) => ({ c: bound >> 1, strict: (bound & 1) === 1 });
  const upper = new Map(), lower = new Map(), out = [];
  for (const { i, j, bound } of constraints) {
    if (bound === 2147483646) continue;
    const { c, strict } = value(bound);
    if (j === 0 && i !== 0) upper.set(i, `${strict ? '<' : '<='} ${c}`);
    else if (i === 0 && j !== 0) lower.set(j, `${-c} ${strict ? '<' : '<='}`);
    else out.push(`${name(i)} - ${name(j)} ${strict ? '<' : '<='} ${c}`);
  }
  const single = [];
  for (let k = 1; k < clocks.length; ++k) {
    if (!upper.has(k) && !lower.has(k)) continue;
    single.push(`${lower.has(k) ? lower.get(k) + ' ' : ''}${name(k)}${upper.has(k) ? ' ' + upper.get(k) : ''}`);
  }
  return [...single, ...out];
}

// The model reader's reports as quorix-verify prints them, "FILE:LINE:COLUMN: message" (the
// column may be missing), or the server's "Error at line N : message".
export function parseDiagnostics(text) {
  const found = [];
  for (const line of text.split('\n')) {
    const match = /^Error at line (\d+) : (.*)$/.exec(line) ?? /^[^:\n]*:(\d+):(?:\d+:)? (.*)$/.exec(line);
    if (match) found.push({ line: Number(match[1]), message: match[2] });
  }
  return found;
}
