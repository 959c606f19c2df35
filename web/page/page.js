// The live page of kalorivox-probe: the table as the window shows it, with each sensor's
// name and the age of its reading, and the chart of the last day, kept live by the stream of
// passes. Every text from the server goes into the page as text, never as markup.
'use strict';

const Texts = {
  name: 'Имя',
  age: 'Возраст',
  seconds: ' с',
  minutes: ' мин',
  hours: ' ч',
  noLink: 'Нет связи с kalorivox-probe',
  noReadings: 'Нет показаний за это время',
};
const DaySpanMs = 24 * 60 * 60 * 1000;
// The chart is read again from the server this often, so its points stay thinned and a page
// left open for days holds no more than a day's worth of them.
const RefetchEveryMs = 10 * 60 * 1000;
// Readings further apart than this many intervals (and at least GapMinimumMs) have a gap.
const GapFactor = 3;
const GapMinimumMs = 3000;
const PassTimeMs = 1000;

const token = new URLSearchParams(location.search).get('token');
function api(path) {
  return token ? path + (path.includes('?') ? '&' : '?') + 'token=' + encodeURIComponent(token)
               : path;
}

let table = null;         // the last table from the server
let serverOffsetMs = 0;   // the server's clock minus ours
let chart = null;
let labels = [];          // ROM codes in the chart's order
let colours = [];
let rowsByTime = new Map();  // ms -> [Date, values...]
let lastPointMs = new Map(); // rom -> ms of its last point
let fetchedAt = 0;
let refetching = false;

function element(tag, text, className) {
  const e = document.createElement(tag);
  if (text !== undefined && text !== null) e.textContent = text;
  if (className) e.className = className;
  return e;
}

function ageText(ms) {
  const s = Math.max(0, Math.floor(ms / 1000));
  if (s < 60) return s + Texts.seconds;
  if (s < 3600) return Math.floor(s / 60) + Texts.minutes;
  return Math.floor(s / 3600) + Texts.hours;
}

function nameOf(rom) {
  if (!table) return null;
  const row = table.sensors.find((s) => s.rom === rom);
  return row ? row.name : null;
}

function showTable(t) {
  table = t;
  serverOffsetMs = t.now - Date.now();
  document.title = 'Kalorivox — ' + t.port;
  document.getElementById('title').textContent = 'Kalorivox — ' + t.port;
  const headings = document.getElementById('headings');
  headings.replaceChildren(element('th', Texts.name),
                           ...t.columns.map((c) => element('th', c)),
                           element('th', Texts.age));
  const rows = document.getElementById('rows');
  rows.replaceChildren(...t.sensors.map((s) => {
    const tr = element('tr');
    tr.dataset.rom = s.rom;
    tr.dataset.state = s.lost ? 'lost' : (s.state || '');
    tr.appendChild(element('td', s.name || '', 'name'));
    s.cells.forEach((text, i) => {
      const td = element('td', text, 'c' + i);
      if (s.colours[i]) td.style.backgroundColor = s.colours[i];
      tr.appendChild(td);
    });
    const age = element('td', '', 'age');
    age.dataset.time = s.time === null ? '' : String(s.time);
    tr.appendChild(age);
    return tr;
  }));
  const status = document.getElementById('status');
  status.textContent = t.status;
  status.className = t.portThere ? '' : 'gone';
  showAges();
  showLegend();
}

function showAges() {
  const now = Date.now() + serverOffsetMs;
  for (const td of document.querySelectorAll('td.age')) {
    td.textContent = td.dataset.time ? ageText(now - Number(td.dataset.time)) : '';
  }
}

function showLegend() {
  const legend = document.getElementById('legend');
  const entries = labels.map((rom, i) => {
    const div = element('div');
    const swatch = element('span', null, 'swatch');
    swatch.style.backgroundColor = colours[i];
    div.appendChild(swatch);
    const name = nameOf(rom);
    const row = table && table.sensors.find((s) => s.rom === rom);
    const latest = row && row.celsius !== null ? '  ' + row.cells[3] : '';
    div.appendChild(document.createTextNode((name ? name + '  ' : '') + rom + latest));
    return div;
  });
  if (table && table.limits) {
    const div = element('div');
    const band = element('span', null, 'swatch band');
    div.appendChild(band);
    div.appendChild(document.createTextNode(table.limits.text));
    entries.push(div);
  }
  if (labels.length === 0) entries.push(element('div', Texts.noReadings));
  legend.replaceChildren(...entries);
}

function spacingMs() {
  return Math.max(GapMinimumMs, GapFactor * ((table ? table.interval : 1) * 1000 + PassTimeMs));
}

function rowAt(ms) {
  let row = rowsByTime.get(ms);
  if (!row) {
    row = [new Date(ms)];
    for (let i = 0; i < labels.length; i++) row.push(null);
    rowsByTime.set(ms, row);
  }
  return row;
}

// A gap is NaN: the chart draws nothing across it. A missing value (null) only means that
// this sensor has no reading at this instant, and the line runs on.
function put(rom, ms, value) {
  const index = labels.indexOf(rom);
  if (index < 0) return false;
  rowAt(ms)[index + 1] = value === null ? NaN : value;
  if (value !== null) lastPointMs.set(rom, ms);
  return true;
}

function chartFile() {
  const from = Date.now() + serverOffsetMs - DaySpanMs;
  for (const ms of rowsByTime.keys()) if (ms < from) rowsByTime.delete(ms);
  return Array.from(rowsByTime.values()).sort((a, b) => a[0] - b[0]);
}

function showPointer(event, x, points) {
  const box = document.getElementById('pointer');
  const at = new Date(x);
  const lines = [element('div', two(at.getDate()) + '.' + two(at.getMonth() + 1) + '.' +
                                at.getFullYear() + ' ' + two(at.getHours()) + ':' +
                                two(at.getMinutes()) + ':' + two(at.getSeconds()))];
  for (const p of points) {
    if (p.yval === null || isNaN(p.yval)) continue;
    const name = nameOf(p.name);
    lines.push(element('div', (name ? name + '  ' : '') + p.name + '  ' +
                              p.yval.toFixed(1) + ' °C'));
  }
  box.replaceChildren(...lines);
  box.hidden = false;
  box.style.left = (event.clientX + 14) + 'px';
  box.style.top = (event.clientY + 14) + 'px';
}

function two(n) {
  return String(n).padStart(2, '0');
}

// Local time as the window's chart writes it: the date at midnight, else the time.
function timeLabel(date) {
  if (date.getHours() === 0 && date.getMinutes() === 0 && date.getSeconds() === 0) {
    return two(date.getDate()) + '.' + two(date.getMonth() + 1);
  }
  return two(date.getHours()) + ':' + two(date.getMinutes());
}

function drawChart() {
  const now = Date.now() + serverOffsetMs;
  const file = chartFile();
  const options = {
    labels: ['t', ...labels],
    colors: colours,
    connectSeparatedPoints: true,
    legend: 'never',
    dateWindow: [now - DaySpanMs, now],
    ylabel: '°C',
    axes: {x: {axisLabelFormatter: timeLabel}},
    strokeWidth: 1.5,
    highlightCircleSize: 3,
    highlightCallback: showPointer,
    unhighlightCallback: () => { document.getElementById('pointer').hidden = true; },
    underlayCallback: (canvas, area, g) => {
      if (!table || !table.limits) return;
      const top = g.toDomYCoord(table.limits.high), bottom = g.toDomYCoord(table.limits.low);
      canvas.fillStyle = '#e2f3e2';
      canvas.fillRect(area.x, top, area.w, bottom - top);
    },
    drawCallback: () => {
      if (!document.body.dataset.chartDrawn) {
        document.body.dataset.chartDrawn = String(Math.round(performance.now()));
      }
    },
  };
  if (file.length === 0) file.push([new Date(now), ...labels.map(() => null)]);
  if (!chart || chart.getLabels().length !== labels.length + 1) {
    if (chart) chart.destroy();
    chart = new Dygraph(document.getElementById('chart'), file, options);
  } else {
    chart.updateOptions({file: file, dateWindow: options.dateWindow, colors: colours});
  }
}

async function fetchJson(path) {
  const response = await fetch(api(path), {cache: 'no-store'});
  if (!response.ok) throw new Error(path + ': ' + response.status);
  return response.json();
}

async function loadHistory() {
  if (refetching) return;
  refetching = true;
  try {
    const history = await fetchJson('/api/v1/history?since=' +
                                    (Date.now() + serverOffsetMs - DaySpanMs));
    labels = history.series.map((s) => s.rom);
    colours = history.series.map((s) => s.colour);
    rowsByTime = new Map();
    lastPointMs = new Map();
    for (const s of history.series) for (const [ms, value] of s.points) put(s.rom, ms, value);
    fetchedAt = Date.now();
    drawChart();
    showLegend();
  } finally {
    refetching = false;
  }
}

function takePass(event) {
  showTable(event.table);
  let unknown = false;
  for (const [rom, ms, value] of event.points) {
    const last = lastPointMs.get(rom);
    if (last !== undefined && ms - last > spacingMs()) put(rom, last + 1, null);
    if (!put(rom, ms, value)) unknown = true;
  }
  if (unknown || Date.now() - fetchedAt > RefetchEveryMs) {
    loadHistory().catch(() => {});
  } else if (event.points.length > 0 || chart) {
    drawChart();
  }
}

function listen() {
  const source = new EventSource(api('/api/v1/events'));
  const link = document.getElementById('link');
  source.addEventListener('pass', (e) => {
    link.textContent = '';
    takePass(JSON.parse(e.data));
  });
  source.onerror = () => { link.textContent = Texts.noLink; };
  // The stream comes back by itself; what it missed meanwhile comes with the chart.
  let opened = false;
  source.onopen = () => {
    if (opened) loadHistory().catch(() => {});
    opened = true;
  };
}

async function start() {
  showTable(await fetchJson('/api/v1/sensors'));
  await loadHistory();
  listen();
  setInterval(showAges, 1000);
}

start().catch(() => { document.getElementById('link').textContent = Texts.noLink; });
