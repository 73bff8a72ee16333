'use strict';
// The live view: the station's cameras this user may watch, in layouts of 1, 4, 9 or 16 or one at
// a time, their pictures pushed over a WebSocket as JPEG. Each picture carries the moment it was
// captured; the page keeps how long pictures took to reach it (window.kelLatency()).

const grid = document.getElementById('grid');
const single = document.getElementById('single');
const message = document.getElementById('message');
const statusLine = document.getElementById('status');
let state = { cameras: [], configure: false, export: false, user: '' };
let layout = Number(localStorage.getItem('kel-layout')) || 4;
let page = 0;
let shown = 0; // the camera shown alone, 0 for the layout
let socket = null;
const tiles = new Map(); // camera -> tile
const latencies = [];

window.kelLatency = () => {
  const sorted = latencies.slice().sort((a, b) => a - b);
  const at = (q) => sorted.length ? sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))] : null;
  return { count: sorted.length, median: at(0.5), p95: at(0.95) };
};
window.kelFrames = {}; // camera -> pictures received

function camera(n) {
  return state.cameras.find((c) => c.n === n);
}

function makeTile(n, big) {
  const tile = document.createElement('figure');
  tile.className = 'tile' + (big ? ' big' : '');
  tile.dataset.camera = n;
  const c = camera(n);
  tile.innerHTML = '<img alt=""><figcaption><span class="name"></span><i class="mot">RUCH</i>' +
    '<i class="rec">● REC</i></figcaption><div class="nosignal">Brak sygnału</div>';
  tile.querySelector('.name').textContent = n + ': ' + (c ? c.name : '');
  tile.querySelector('img').alt = 'Kamera ' + n;
  if (c) mark(tile, c);
  if (!big) tile.addEventListener('click', () => { location.hash = '#kamera/' + n; });
  return tile;
}

function mark(tile, c) {
  tile.classList.toggle('lost', !c.signal);
  tile.classList.toggle('recording', !!c.recording);
  tile.classList.toggle('motion', !!c.motion);
}

function visible() {
  if (shown) return [shown];
  const all = state.cameras.map((c) => c.n);
  const pages = Math.max(1, Math.ceil(all.length / layout));
  page = Math.min(page, pages - 1);
  return all.slice(page * layout, page * layout + layout);
}

// The recordings: a day's time line per camera, played on the station from where it is clicked.
const recorded = document.getElementById('recorded');
const timeline = document.getElementById('timeline');
let day = null; // {camera, dayMs, stretches}
let playing = 0; // the camera played, 0 for none
let playedAt = null; // the moment of the last picture played
window.kelPlayed = 0;
const kEpochDays = 25569; // the index counts days from 30 December 1899

function momentText(ms) {
  return new Date(ms - kEpochDays * 86400000).toISOString().replace('T', ' ').slice(0, 19);
}

function drawTimeline() {
  const width = timeline.clientWidth;
  timeline.width = width;
  const g = timeline.getContext('2d');
  g.fillStyle = '#1a232c';
  g.fillRect(0, 0, width, 56);
  g.fillStyle = '#1f6fb2';
  for (const [from, to] of (day ? day.stretches : [])) {
    g.fillRect(Math.floor(from / 86400000 * width), 8, Math.max(1, Math.ceil((to - from) / 86400000 * width)), 28);
  }
  g.fillStyle = '#9fb0bf';
  g.font = '11px sans-serif';
  for (let h = 0; h <= 24; h += 3) {
    const x = Math.min(width - 1, Math.floor(h / 24 * width));
    g.fillRect(x, 36, 1, 6);
    g.fillText(String(h).padStart(2, '0') + ':00', Math.min(x + 2, width - 34), 54);
  }
  if (day && playedAt !== null && playedAt >= day.dayMs && playedAt < day.dayMs + 86400000) {
    g.fillStyle = '#ffd740';
    g.fillRect(Math.floor((playedAt - day.dayMs) / 86400000 * width), 2, 2, 40);
  }
}

async function loadDay() {
  const camera = Number(document.getElementById('rec-camera').value);
  const date = document.getElementById('rec-day').value;
  day = null;
  drawTimeline();
  if (!camera || !date) return;
  const reply = await fetch('/api/recordings?camera=' + camera + '&day=' + date);
  if (reply.status === 401) return location.replace('/login');
  const body = await reply.json();
  if (!reply.ok) { message.textContent = body.error; return; }
  day = body;
  window.kelDay = body;
  drawTimeline();
  updateDownload();
  if (!day.stretches.length) document.getElementById('rec-time').textContent = 'Brak nagrań tego dnia';
}

// The stretch to download: the two times of the day shown, as the station's moments.
function timeOf(id) {
  const [h, m, sec] = (document.getElementById(id).value || '00:00:00').split(':').map(Number);
  return ((h || 0) * 3600 + (m || 0) * 60 + (sec || 0)) * 1000;
}

function setTime(id, ms) {
  const s = Math.max(0, Math.min(86399, Math.floor(ms / 1000)));
  document.getElementById(id).value = [s / 3600, (s / 60) % 60, s % 60].map((v) => String(Math.floor(v)).padStart(2, '0')).join(':');
}

function updateDownload() {
  const link = document.getElementById('rec-download');
  if (!day) { link.removeAttribute('href'); return; }
  link.href = '/api/export?camera=' + day.camera + '&from=' + (day.dayMs + timeOf('rec-from')) +
    '&to=' + (day.dayMs + timeOf('rec-to'));
}

function play(moment) {
  if (day) {
    setTime('rec-from', moment - day.dayMs);
    setTime('rec-to', moment - day.dayMs + 60000);
    updateDownload();
  }
  playing = Number(document.getElementById('rec-camera').value);
  const speed = document.getElementById('rec-speed').value;
  if (socket && socket.readyState === WebSocket.OPEN) socket.send('play ' + playing + ' ' + Math.round(moment) + ' ' + speed);
  document.getElementById('rec-time').textContent = 'Odtwarzanie…';
}

function stopPlaying() {
  if (playing && socket && socket.readyState === WebSocket.OPEN) socket.send('stop');
  playing = 0;
}

function played(data, head) {
  const stamp = Number(head.getBigInt64(4, true));
  const img = document.querySelector('#rec-tile img');
  const url = URL.createObjectURL(new Blob([new Uint8Array(data, 16)], { type: 'image/jpeg' }));
  img.onload = () => {
    const old = img.dataset.url;
    img.dataset.url = url;
    if (old) URL.revokeObjectURL(old);
  };
  img.src = url;
  playedAt = stamp;
  window.kelPlayed += 1;
  window.kelPlayedAt = momentText(stamp);
  document.getElementById('rec-time').textContent = momentText(stamp);
  drawTimeline();
}

function showRecorded() {
  grid.hidden = true;
  single.hidden = true;
  recorded.hidden = false;
  const select = document.getElementById('rec-camera');
  if (!select.options.length) {
    for (const c of state.cameras) select.add(new Option(c.n + ': ' + c.name, String(c.n)));
    const today = new Date();
    document.getElementById('rec-day').value = new Date(today - today.getTimezoneOffset() * 60000).toISOString().slice(0, 10);
  }
  subscribe();
  loadDay();
}

function render() {
  tiles.clear();
  if (location.hash === '#nagrania') return showRecorded();
  stopPlaying();
  recorded.hidden = true;
  message.textContent = '';
  document.querySelectorAll('#layouts button').forEach((b) => b.classList.toggle('on', Number(b.dataset.layout) === layout));
  const hash = location.hash.match(/^#kamera\/(\d+)$/);
  shown = hash ? Number(hash[1]) : 0;
  if (shown) {
    grid.hidden = true;
    single.hidden = false;
    const holder = document.getElementById('single-tile');
    const tile = makeTile(shown, true);
    holder.replaceWith(tile);
    tile.id = 'single-tile';
    tiles.set(shown, tile);
    const c = camera(shown);
    document.getElementById('single-name').textContent = c ? shown + ': ' + c.name : 'Kamera ' + shown;
    document.getElementById('snapshot').href = '/api/snapshot?camera=' + shown;
    document.getElementById('ptz').hidden = !(c && c.ptz);
    if (!c) refused(shown);
  } else {
    single.hidden = true;
    grid.hidden = false;
    grid.replaceChildren();
    grid.style.setProperty('--cols', String(Math.sqrt(layout)));
    for (const n of visible()) {
      const tile = makeTile(n, false);
      tiles.set(n, tile);
      grid.appendChild(tile);
    }
    if (!state.cameras.length) message.textContent = 'Brak kamer, do których masz uprawnienia.';
  }
  subscribe();
}

function refused(n) {
  message.textContent = 'Brak uprawnień do kamery ' + n + '.';
  const tile = tiles.get(n);
  if (tile) tile.classList.add('lost');
}

function subscribe() {
  const cameras = location.hash === '#nagrania' ? [] : visible();
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(('live ' + cameras.join(' ')).trim());
}

function picture(data) {
  const head = new DataView(data, 0, 16);
  if (head.getUint8(0) === 80) return played(data, head); // 'P': a recorded picture
  const n = head.getUint8(1);
  const stamp = Number(head.getBigInt64(4, true));
  const tile = tiles.get(n);
  if (!tile) return;
  const img = tile.querySelector('img');
  const url = URL.createObjectURL(new Blob([new Uint8Array(data, 16)], { type: 'image/jpeg' }));
  img.onload = () => {
    latencies.push(Date.now() - stamp);
    if (latencies.length > 5000) latencies.splice(0, latencies.length - 5000);
    window.kelFrames[n] = (window.kelFrames[n] || 0) + 1;
    const old = img.dataset.url;
    img.dataset.url = url;
    if (old) URL.revokeObjectURL(old);
  };
  img.src = url;
}

function connect() {
  socket = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/ws');
  socket.binaryType = 'arraybuffer';
  socket.onopen = () => { statusLine.textContent = 'Połączono ze stacją'; subscribe(); };
  socket.onmessage = (event) => {
    if (typeof event.data !== 'string') return picture(event.data);
    const m = JSON.parse(event.data);
    if (m.t === 'marks') {
      for (const c of m.cameras) {
        const known = camera(c.n);
        if (known) Object.assign(known, c);
        const tile = tiles.get(c.n);
        if (tile) mark(tile, c);
      }
    } else if (m.t === 'ended') {
      document.getElementById('rec-time').textContent += ' – koniec nagrań';
      playing = 0;
    } else if (m.t === 'refused') {
      refused(m.camera);
    } else if (m.t === 'error') {
      message.textContent = m.text;
    }
  };
  socket.onclose = async () => {
    statusLine.textContent = 'Rozłączono, ponowne łączenie…';
    const reply = await fetch('/api/state').catch(() => null);
    if (reply && reply.status === 401) return location.replace('/login');
    setTimeout(connect, 2000);
  };
}

async function start() {
  const reply = await fetch('/api/state');
  if (reply.status === 401) return location.replace('/login');
  state = await reply.json();
  document.getElementById('who').textContent = state.user;
  // The key evidence downloaded from here is signed with, to compare with what the check prints.
  document.getElementById('key').textContent = 'Klucz podpisu stacji: ' + (state.key || 'niedostępny');
  // Only a user with the export right downloads recordings (the station refuses the others too).
  document.getElementById('rec-export').hidden = !state.export;
  render();
  connect();
  setInterval(() => {
    const l = window.kelLatency();
    if (l.count) document.getElementById('latency').textContent = '· opóźnienie obrazu ' + l.median + ' ms';
  }, 2000);
}

document.querySelectorAll('#layouts button').forEach((b) => b.addEventListener('click', () => {
  layout = Number(b.dataset.layout);
  localStorage.setItem('kel-layout', String(layout));
  page = 0;
  if (location.hash) location.hash = ''; else render();
}));
document.getElementById('prev').addEventListener('click', () => { page = Math.max(0, page - 1); render(); });
document.getElementById('next').addEventListener('click', () => { page += 1; render(); });
document.getElementById('back').addEventListener('click', () => { location.hash = ''; });
document.getElementById('logout').addEventListener('click', async () => {
  await fetch('/api/logout', { method: 'POST' });
  location.replace('/login');
});
window.addEventListener('hashchange', render);
document.getElementById('recordings').addEventListener('click', () => { location.hash = '#nagrania'; });
document.getElementById('rec-back').addEventListener('click', () => { location.hash = ''; });
document.getElementById('rec-camera').addEventListener('change', () => { stopPlaying(); loadDay(); });
document.getElementById('rec-day').addEventListener('change', () => { stopPlaying(); loadDay(); });
document.getElementById('rec-speed').addEventListener('change', () => { if (playing && playedAt !== null) play(playedAt); });
document.getElementById('rec-stop').addEventListener('click', stopPlaying);
document.getElementById('rec-from').addEventListener('change', updateDownload);
document.getElementById('rec-to').addEventListener('change', updateDownload);
timeline.addEventListener('click', (e) => {
  if (!day) return;
  const rect = timeline.getBoundingClientRect();
  play(day.dayMs + (e.clientX - rect.left) / rect.width * 86400000);
});
window.addEventListener('resize', drawTimeline);

// The pad: a press moves the camera until it is let go. While held the press is confirmed three
// times a second; the station stops a move whose confirmations stop (the page closed, the signal
// lost) within a second.
document.querySelectorAll('#ptz button').forEach((b) => {
  const send = (kind) => fetch('/api/ptz', { method: 'POST', body: new URLSearchParams({ camera: shown, kind }) });
  let held = null;
  b.addEventListener('pointerdown', (e) => {
    e.preventDefault();
    clearInterval(held);
    send(b.dataset.kind);
    held = setInterval(() => send(b.dataset.kind), 300);
  });
  for (const end of ['pointerup', 'pointerleave', 'pointercancel']) {
    b.addEventListener(end, () => { if (held !== null) send(0); clearInterval(held); held = null; });
  }
});

start();
