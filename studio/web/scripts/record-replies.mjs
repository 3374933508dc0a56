// Records the replies that the protocol client's tests parse, from a real quorix-server:
//   node scripts/record-replies.mjs ../../build/quorix-server
// Each file in test/replies/ holds one request (after "> ") and the server's exact reply.
import { spawn } from 'node:child_process';
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const examples = join(here, '../../../examples');
const model = (name) => readFileSync(join(examples, name), 'utf8');
const fischerStart = '0\n0\n0\n.\n1\n2\n0\n.\n2\n3\n0\n.\n3\n1\n0\n.\n.\n0\n.\n';
const trainStart = '0\n0\n0\n.\n1\n2\n0\n.\n2\n3\n0\n.\n3\n1\n0\n.\n.\n0\n.\n';

// name: [setup requests (not recorded), the recorded request]
const cases = {
  new_system: [[], `newSystem\n${model('fischer.gta')}.\n`],
  new_system_error: [[], 'newSystem\nprocess P { state A; init A; trans A -> B {}; } system P;\n.\n'],
  initial_state: [[`newSystem\n${model('fischer.gta')}.\n`], 'getInitialState\n'],
  transitions: [[`newSystem\n${model('fischer.gta')}.\n`], `getTransitions\n${fischerStart}`],
  transitions_sync: [[`newSystem\n${model('train_crossing.gta')}.\n`], `getTransitions\n${trainStart}`],
  successor: [[`newSystem\n${model('fischer.gta')}.\n`], `getSuccessor\n${fischerStart}1\n0\n0\n.\n`],
  successor_disabled: [[`newSystem\n${model('fischer.gta')}.\n`], `getSuccessor\n${fischerStart}1\n0\n3\n.\n`],
  check_no_trace: [[`newSystem\n${model('fischer.gta')}.\n`], 'modelCheck\nE<> P1.cs\n.\n'],
  check_witness: [[`newSystem\n${model('fischer.gta')}.\n`, 'setOptions\ntrace 1\n.\n'], 'modelCheck\nE<> P1.cs\n.\n'],
  check_loop: [[`newSystem\n${model('fischer.gta')}.\n`, 'setOptions\ntrace 1\n.\n'], 'modelCheck\nP1.req --> P1.cs\n.\n'],
  check_bad_property: [[`newSystem\n${model('fischer.gta')}.\n`], 'modelCheck\nE<> P1.nowhere and (\n.\n'],
  options: [[], 'setOptions\norder 1\nreduction 0\ntrace 1\n.\n'],
};

function exchange(server, requests) {
  return new Promise((resolve, reject) => {
    const child = spawn(server, [], { stdio: ['pipe', 'pipe', 'ignore'] });
    let out = '';
    child.stdout.on('data', (d) => (out += d));
    child.on('error', reject);
    child.on('close', () => resolve(out));
    child.stdin.end(requests.join('') + 'quit\n');
  });
}

const server = process.argv[2];
mkdirSync(join(here, '../test/replies'), { recursive: true });
for (const [name, [setup, request]] of Object.entries(cases)) {
  const before = await exchange(server, setup);
  const all = await exchange(server, [...setup, request]);
  const reply = all.slice(before.length);
  const text = request.split('\n').slice(0, -1).map((l) => `> ${l}\n`).join('') + reply;
  writeFileSync(join(here, '../test/replies', `${name}.txt`), text);
}
