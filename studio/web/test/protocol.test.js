// The protocol client on replies recorded from the real server (scripts/record-replies.mjs), with the
// expected values worked out by hand from the example models.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import * as protocol from '../src/protocol.js';
import { parseNetwork, describeTransition } from '../src/network.js';

// A recorded file: "> " request lines, then the reply.
function recorded(name) {
  const text = readFileSync(new URL(`replies/${name}.txt`, import.meta.url), 'utf8');
  const lines = text.split('\n');
  const sent = lines.filter((l) => l.startsWith('> ')).map((l) => l.slice(2) + '\n').join('');
  return { sent, reply: lines.filter((l) => !l.startsWith('> ')).join('\n') };
}

const fischerStart = {
  locations: [0, 0, 0],
  constraints: [{ i: 1, j: 2, bound: 0 }, { i: 2, j: 3, bound: 0 }, { i: 3, j: 1, bound: 0 }],
  integers: [0],
};
const fischerClocks = ['t(0)', 'P1.x', 'P2.x', 'P3.x'];
const at = (locations) => (entry) => assert.deepEqual(entry.state.locations, locations);

test('replies parse to what the models say', () => {
  const cases = [
    ['new_system', protocol.parseSystem, (r) => assert.deepEqual(r, { integers: ['id'], clocks: fischerClocks })],
    ['initial_state', protocol.parseInitialState, (r) => assert.deepEqual(r, fischerStart)],
    ['successor', protocol.parseStateReply, (r) => assert.deepEqual(r.locations, [1, 0, 0])],
    ['options', protocol.parseEmpty, (r) => assert.equal(r, undefined)],
    ['transitions', protocol.parseTransitions, (entries) => {
      // Each process can leave A for req (its first edge); nothing else is enabled.
      assert.deepEqual(entries.map((e) => e.transitions), [0, 1, 2].map((p) => [{ process: p, edge: 0 }]));
      at([1, 0, 0])(entries[0]);
      assert.deepEqual(entries[0].state.integers, [0]);
    }],
    ['transitions_sync', protocol.parseTransitions, (entries) => {
      // A train announces itself (appr!) and the gate takes it (appr?): pairs, sender first.
      assert.deepEqual(entries.map((e) => e.transitions), [
        [{ process: 0, edge: 0 }, { process: 2, edge: 0 }],
        [{ process: 1, edge: 0 }, { process: 2, edge: 0 }],
      ]);
      at([1, 0, 1])(entries[0]);
      assert.deepEqual(entries[0].state.integers, [1]);
    }],
    ['check_no_trace', protocol.parseCheck, (r) => assert.deepEqual(r, { verdict: 'T', path: [], loop: [] })],
    ['check_witness', protocol.parseCheck, (r) => {
      // P1: A -> req -> wait -> cs, then P1.x > 2.
      assert.equal(r.verdict, 'T');
      assert.deepEqual(r.path.map((s) => s.transitions), [0, 1, 3].map((edge) => [{ process: 0, edge }]));
      assert.deepEqual(r.path.map((s) => s.state.locations[0]), [1, 2, 3]);
      assert.equal(protocol.zoneText(r.path[2].state.constraints, fischerClocks)[0], '2 < P1.x');
      assert.deepEqual(r.loop, []);
    }],
    ['check_loop', protocol.parseCheck, (r) => {
      assert.equal(r.verdict, 'F');
      assert.equal(r.path.length, 4);
      assert.ok(r.path.every((s) => s.state.locations.length === 3 && s.transitions.length === 1));
    }],
  ];
  for (const [name, parse, expect] of cases) expect(parse(recorded(name).reply));
});

test('error replies become errors carrying the server message', () => {
  const cases = [
    ['new_system_error', protocol.parseSystem, 'Syntax errors in system.'],
    ['successor_disabled', protocol.parseStateReply, 'Transition is disabled'],
    ['check_bad_property', protocol.parseCheck, 'Bad property'],
  ];
  for (const [name, parse, message] of cases)
    assert.throws(() => parse(recorded(name).reply), { name: 'ReplyError', message });
  for (const broken of ['', 'ok\n', 'ok\nX\n0\n0\n.\n', 'ok\n0\n.\n1\n0\n.\n', 'maybe\n.\n'])
    assert.throws(() => protocol.parseCheck(broken), { name: 'ReplyError' }, JSON.stringify(broken));
});

test('requests are the bytes the server was sent', () => {
  const model = readFileSync(new URL('../../../examples/fischer.gta', import.meta.url), 'utf8');
  const cases = [
    ['new_system', protocol.request.newSystem(model)],
    ['transitions', protocol.request.getTransitions(fischerStart)],
    ['successor', protocol.request.getSuccessor(fischerStart, [{ process: 0, edge: 0 }])],
    ['check_witness', protocol.request.modelCheck('  E<> P1.cs \n')],
    ['options', protocol.request.setOptions({ order: 1, reduction: 0, trace: true })],
  ];
  for (const [name, sent] of cases) assert.equal(sent, recorded(name).sent, name);
  assert.throws(() => protocol.request.newSystem('process P {\n.\n}'), /only '\.'/);
});

test('zones read as constraints on named clocks', () => {
  const clocks = ['t(0)', 'x', 'y'];
  const cases = [
    [[{ i: 1, j: 0, bound: 6 }], ['x <= 3']],
    [[{ i: 1, j: 0, bound: 7 }], ['x < 3']],
    [[{ i: 0, j: 1, bound: -4 }, { i: 1, j: 0, bound: 10 }], ['2 <= x <= 5']],
    [[{ i: 0, j: 2, bound: -5 }], ['3 < y']],
    [[{ i: 2, j: 1, bound: -6 }], ['y - x <= -3']],
    [[{ i: 1, j: 0, bound: 2147483646 }], []],
  ];
  for (const [constraints, text] of cases) assert.deepEqual(protocol.zoneText(constraints, clocks), text);
});

test('reader diagnostics and the network graph', () => {
  assert.deepEqual(protocol.parseDiagnostics('Error at line 3 : Transition destination is not a state.\nquorix-verify: rejected\n'),
    [{ line: 3, message: 'Transition destination is not a state.' }]);
  assert.deepEqual(protocol.parseDiagnostics("/tmp/m/model.gta:13:17: unknown name 'y'\n/tmp/m/model.gta:14: too many clocks\nquorix-verify: the model in '/tmp/m/model.gta' was rejected\n"),
    [{ line: 13, message: "unknown name 'y'" }, { line: 14, message: 'too many clocks' }]);
  const network = parseNetwork(readFileSync(new URL('replies/train_crossing.dot', import.meta.url), 'utf8'));
  assert.deepEqual(network.map((p) => p.name), ['Train1', 'Train2', 'Gate']);
  const gate = network[2];
  assert.equal(gate.initial, 0);
  assert.deepEqual(gate.locations[3], { name: 'Check', committed: true, urgent: false, invariant: '' });
  assert.equal(gate.locations[1].invariant, 'Gate.y<=1');
  assert.deepEqual(gate.edges[0], { source: 0, target: 1, guard: '', sync: 'appr?', assign: 'Gate.y:=0, near := (near + 1)' });
  assert.equal(gate.edges.length, 7);
  assert.equal(describeTransition(network, { process: 0, edge: 1 }), 'Train1: Near \u2192 In  {2<=Train1.x; Train1.x:=0}');
});
