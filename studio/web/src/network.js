// The network's structure from the Graphviz text that the model reader writes (one cluster per
// process, node pK_L for location L of process K, edges in the process's own order, which is
// the order the server counts transitions in).

function unquote(text) {
  let out = '';
  for (let k = 1; k < text.length - 1; ++k) {
    if (text[k] === '\\' && k + 1 < text.length - 1) {
      const c = text[++k];
      out += c === 'n' ? '\n' : c;
    } else {
      out += text[k];
    }
  }
  return out;
}

const quoted = '"(?:[^"\\\\]|\\\\.)*"';

function labelOf(attributes) {
  const match = new RegExp(`label=(${quoted})`).exec(attributes ?? '');
  return match ? unquote(match[1]) : '';
}

// An edge label's lines: guards, then a synchronisation "name!" or "name?", then assignments.
function edgeParts(label) {
  const parts = { guard: '', sync: '', assign: '' };
  for (const line of label.split('\n').filter((l) => l !== '')) {
    if (/^[\w.[\]]+[!?]$/.test(line)) parts.sync = line;
    else if (/:=/.test(line)) parts.assign = line;
    else parts.guard = line;
  }
  return parts;
}

// [{name, initial, locations: [{name, committed, urgent, invariant}],
//   edges: [{source, target, guard, sync, assign}]}]
export function parseNetwork(dot) {
  const processes = [];
  let current = null;
  for (const raw of dot.split('\n')) {
    const line = raw.trim();
    let match;
    if ((match = /^subgraph cluster_(\d+) \{$/.exec(line))) {
      current = { name: '', initial: -1, locations: [], edges: [] };
      processes[Number(match[1])] = current;
    } else if (!current) {
      continue;
    } else if ((match = new RegExp(`^label=(${quoted});$`).exec(line))) {
      current.name = unquote(match[1]);
    } else if ((match = /^p\d+_init -> p\d+_(\d+);$/.exec(line))) {
      current.initial = Number(match[1]);
    } else if ((match = /^p\d+_(\d+) -> p\d+_(\d+)(?: \[(.*)\])?;$/.exec(line))) {
      current.edges.push({ source: Number(match[1]), target: Number(match[2]), ...edgeParts(labelOf(match[3])) });
    } else if ((match = /^p\d+_(\d+) \[(.*)\];$/.exec(line))) {
      const [name, ...rest] = labelOf(match[2]).split('\n');
      const location = { name, committed: false, urgent: false, invariant: '' };
      for (const part of rest) {
        if (part === '(committed)') location.committed = true;
        else if (part === '(urgent)') location.urgent = true;
        else location.invariant = part;
      }
      current.locations[Number(match[1])] = location;
    } else if (line === '}') {
      current = null;
    }
  }
  return processes.filter(Boolean);
}

// "P1: A -> req" with the edge's labels, for lists of transitions.
export function describeTransition(network, { process, edge }) {
  const p = network[process];
  const e = p?.edges[edge];
  if (!e) return `process ${process}, edge ${edge + 1}`;
  const labels = [e.guard, e.sync, e.assign].filter((l) => l !== '').join('; ');
  return `${p.name}: ${p.locations[e.source]?.name} \u2192 ${p.locations[e.target]?.name}${labels ? '  {' + labels + '}' : ''}`;
}
