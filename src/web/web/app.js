'use strict';
// The live view: the station's cameras this user may watch, in layouts of 1, 4, 9 or 16 or one at
// a time, their pictures pushed over a WebSocket as JPEG. Each picture carries the moment it was
// captured; the page keeps how long pictures took to reach it (window.kelLatency()).

const grid = document.getElementById('grid');
const single = document.getElementById('single');
const message = document.getElementById('message');
const statusLine = document.getElementById('status');
let state = { cameras: [], configure: false, user: '' };
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

function render() {
  tiles.clear();
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
  if (socket && socket.readyState === WebSocket.OPEN) socket.send('live ' + visible().join(' '));
}

function picture(data) {
  const head = new DataView(data, 0, 16);
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

// The pad: a press moves the camera until it is let go.
document.querySelectorAll('#ptz button').forEach((b) => {
  const send = (kind) => fetch('/api/ptz', { method: 'POST', body: new URLSearchParams({ camera: shown, kind }) });
  let pressed = false;
  b.addEventListener('pointerdown', (e) => { e.preventDefault(); pressed = true; send(b.dataset.kind); });
  for (const end of ['pointerup', 'pointerleave', 'pointercancel']) {
    b.addEventListener(end, () => { if (pressed) send(0); pressed = false; });
  }
});

start();
