// SVG drawings: every process as an automaton laid out by ELK, and a trace as a message
// sequence chart.
import ELK from 'elkjs/lib/elk.bundled.js';

const svgNS = 'http://www.w3.org/2000/svg';
const elk = new ELK();
const charWidth = 6.6, lineHeight = 13;

function svg(tag, attributes = {}, parent = null) {
  const element = document.createElementNS(svgNS, tag);
  for (const [name, value] of Object.entries(attributes)) element.setAttribute(name, value);
  if (parent) parent.appendChild(element);
  return element;
}

function text(parent, x, y, content, className) {
  const element = svg('text', { x, y, class: className }, parent);
  element.textContent = content;
  return element;
}

const edgeLines = (edge) =>
  [['guard', edge.guard], ['sync', edge.sync], ['assign', edge.assign]].filter(([, t]) => t !== '');

async function layout(process) {
  const graph = {
    id: 'root',
    layoutOptions: {
      'elk.algorithm': 'layered',
      'elk.direction': 'RIGHT',
      'elk.spacing.nodeNode': '40',
      'elk.layered.spacing.nodeNodeBetweenLayers': '60',
      'elk.spacing.edgeLabel': '4',
      'elk.edgeRouting': 'POLYLINE',
    },
    children: process.locations.map((location, k) => {
      const width = Math.max(location.name.length, location.invariant.length) * charWidth + 26;
      return { id: `n${k}`, width: Math.max(width, 44), height: location.invariant ? 42 : 30 };
    }),
    edges: process.edges.map((edge, k) => {
      const lines = edgeLines(edge);
      const width = Math.max(0, ...lines.map(([, t]) => t.length)) * charWidth;
      return {
        id: `e${k}`,
        sources: [`n${edge.source}`],
        targets: [`n${edge.target}`],
        labels: lines.length ? [{ text: 'x', width, height: lines.length * lineHeight }] : [],
      };
    }),
  };
  return elk.layout(graph);
}

// Draws each process into `container`; returns a function that marks the current locations
// (one index per process) and the edges just taken ([{process, edge}]).
export async function drawNetwork(container, network) {
  container.replaceChildren();
  const layouts = await Promise.all(network.map(layout));
  network.forEach((process, p) => {
    const laid = layouts[p];
    const figure = document.createElement('figure');
    figure.className = 'process';
    figure.dataset.process = process.name;
    const caption = document.createElement('figcaption');
    caption.textContent = process.name;
    figure.appendChild(caption);
    const width = laid.width + 20, height = laid.height + 20;
    const root = svg('svg', { width, height, viewBox: `-10 -10 ${width} ${height}` }, figure);
    const defs = svg('defs', {}, root);
    const marker = svg('marker', { id: `arrow${p}`, viewBox: '0 0 10 10', refX: 10, refY: 5, markerWidth: 7, markerHeight: 7, orient: 'auto' }, defs);
    svg('path', { d: 'M0,0 L10,5 L0,10 z' }, marker);

    laid.edges.forEach((edge, k) => {
      const group = svg('g', { class: 'edge', 'data-edge': k }, root);
      for (const section of edge.sections ?? []) {
        const points = [section.startPoint, ...(section.bendPoints ?? []), section.endPoint];
        svg('polyline', { points: points.map((q) => `${q.x},${q.y}`).join(' '), 'marker-end': `url(#arrow${p})` }, group);
      }
      const label = edge.labels?.[0];
      if (label) {
        edgeLines(process.edges[k]).forEach(([kind, line], n) =>
          text(group, label.x, label.y + (n + 1) * lineHeight - 3, line, `label ${kind}`));
      }
    });
    laid.children.forEach((node, k) => {
      const location = process.locations[k];
      const group = svg('g', { class: 'location', 'data-location': k, transform: `translate(${node.x},${node.y})` }, root);
      svg('rect', { width: node.width, height: node.height, rx: 14 }, group);
      if (k === process.initial) svg('rect', { class: 'initial', x: 3, y: 3, width: node.width - 6, height: node.height - 6, rx: 11 }, group);
      text(group, node.width / 2, 19, location.name, 'name');
      if (location.invariant) text(group, node.width / 2, 34, location.invariant, 'invariant');
      const mark = location.committed ? 'C' : location.urgent ? 'U' : '';
      if (mark) {
        svg('circle', { cx: node.width, cy: 0, r: 8, class: 'mark' }, group);
        text(group, node.width, 4, mark, 'mark-text');
      }
    });
    container.appendChild(figure);
  });

  return (locations, taken = []) => {
    container.querySelectorAll('figure.process').forEach((figure, p) => {
      figure.querySelectorAll('g.location').forEach((g) =>
        g.classList.toggle('current', locations !== null && Number(g.dataset.location) === locations?.[p]));
      figure.querySelectorAll('g.edge').forEach((g) =>
        g.classList.toggle('taken', taken.some((t) => t.process === p && t.edge === Number(g.dataset.edge))));
    });
  };
}

// A message sequence chart of `steps` ([{state, transitions, loop}], the first without
// transitions): a lifeline per process, a synchronisation as an arrow from sender to receiver,
// a lone edge as a box on its lifeline, and each step's locations and zone. `onPick(k)` is
// called when a step is clicked; step `current` is marked.
export function drawChart(container, network, steps, current, zoneOf, onPick) {
  container.replaceChildren();
  if (!steps.length) return;
  const column = 150, left = 90, top = 34, row = 48;
  const zoneX = left + network.length * column;
  const width = zoneX + 260, height = top + steps.length * row + 10;
  const root = svg('svg', { width, height, class: 'chart' }, container);
  const defs = svg('defs', {}, root);
  const marker = svg('marker', { id: 'msc-arrow', viewBox: '0 0 10 10', refX: 10, refY: 5, markerWidth: 7, markerHeight: 7, orient: 'auto' }, defs);
  svg('path', { d: 'M0,0 L10,5 L0,10 z' }, marker);
  const x = (p) => left + p * column + column / 2;

  steps.forEach((step, k) => {
    const y = top + k * row;
    const band = svg('g', { class: `step${k === current ? ' current' : ''}${step.loop ? ' loop' : ''}`, 'data-step': k }, root);
    svg('rect', { x: 0, y, width, height: row, class: 'band' }, band);
    text(band, 6, y + 16, step.loop ? `${k} (loop)` : `${k}`, 'step-number');
    band.addEventListener('click', () => onPick(k));
  });
  network.forEach((process, p) => {
    text(root, x(p), 20, process.name, 'lifeline-name');
    svg('line', { x1: x(p), y1: top, x2: x(p), y2: height, class: 'lifeline' }, root);
  });
  steps.forEach((step, k) => {
    const y = top + k * row;
    const transitions = step.transitions ?? [];
    if (transitions.length === 2) {
      const [a, b] = transitions;
      const sender = network[a.process]?.edges[a.edge]?.sync.endsWith('!') ? a : b;
      const receiver = sender === a ? b : a;
      const channel = network[sender.process]?.edges[sender.edge]?.sync.slice(0, -1) ?? '';
      svg('line', { x1: x(sender.process), y1: y + 12, x2: x(receiver.process), y2: y + 12, class: 'message', 'marker-end': 'url(#msc-arrow)' }, root);
      text(root, (x(sender.process) + x(receiver.process)) / 2, y + 9, channel, 'channel');
    } else {
      for (const t of transitions) {
        svg('rect', { x: x(t.process) - 5, y: y + 6, width: 10, height: 12, class: 'internal' }, root);
        const edge = network[t.process]?.edges[t.edge];
        const from = network[t.process]?.locations[edge?.source]?.name ?? '';
        const to = network[t.process]?.locations[edge?.target]?.name ?? '';
        text(root, x(t.process) + 9, y + 16, `${from} \u2192 ${to}`, 'chart-edge');
      }
    }
    step.state.locations.forEach((location, p) => {
      const name = network[p]?.locations[location]?.name ?? String(location);
      const moved = transitions.some((t) => t.process === p);
      const box = svg('g', { class: `at${moved ? ' moved' : ''}` }, root);
      svg('rect', { x: x(p) - name.length * 3.5 - 6, y: y + 22, width: name.length * 7 + 12, height: 17, rx: 8 }, box);
      text(box, x(p), y + 35, name, 'at-name');
    });
    text(root, zoneX + 8, y + 35, zoneOf(step.state), 'chart-zone');
  });
}
