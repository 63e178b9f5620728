// The page of calldeck serve (web_pages.h): one HTML page that shows the
// login or the search, a script that talks to the JSON API (docs/web.md),
// and its style. No framework and no outside file: the browser gets these
// three texts and the API's answers, nothing else.
#include "web_pages.h"

namespace calldeck::web {

const char* const kIndexHtml = R"HTML(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>CallDeck</title>
<link rel="stylesheet" href="/app.css">
<script src="/app.js" defer></script>
</head>
<body>
<header><h1>CallDeck</h1><span id="who"></span><button id="logout" hidden>Log out</button></header>
<form id="login" hidden>
  <label>Name <input id="login-name" autocomplete="username" required></label>
  <label>Password <input id="login-password" type="password" autocomplete="current-password" required></label>
  <button id="login-button">Log in</button>
  <p id="login-error" class="error"></p>
</form>
<main id="app" hidden>
  <form id="search">
    <fieldset>
      <label>From <input id="start-date" type="date"> <input id="start-time" type="time" step="1" value="00:00:00"></label>
      <label>To <input id="end-date" type="date"> <input id="end-time" type="time" step="1" value="23:59:59"></label>
      <select id="range"><option value="">Range</option><option>Today</option><option>Yesterday</option>
        <option>Last 7 days</option><option>This month</option></select>
    </fieldset>
    <fieldset>
      <label>Channel <input id="channel" type="number" min="0" max="128" value="0"></label>
      <label>Number <input id="number"></label>
      <label>Duration <select id="compare"><option value=""></option><option>&gt;=</option><option>&lt;=</option></select>
        <input id="duration" type="time" step="1" value="00:00:00"></label>
      <label><input id="call-in" type="checkbox" checked> In</label>
      <label><input id="call-out" type="checkbox" checked> Out</label>
      <label>Tag <input id="tag"></label>
      <label>Note contains <input id="note-words"></label>
      <label><input id="held-only" type="checkbox"> Held only</label>
      <button id="search-button">Search</button>
    </fieldset>
  </form>
  <p id="status"></p>
  <table id="rows"><thead><tr><th>Channel</th><th>Date and time</th><th>Number</th><th>Duration</th><th>Direction</th><th>Hold</th></tr></thead>
    <tbody></tbody></table>
  <nav><button id="previous" disabled>Previous</button> <span id="page"></span> <button id="next" disabled>Next</button></nav>
  <section id="player" hidden>
    <h2 id="player-title"></h2>
    <canvas id="waveform" width="1000" height="120"></canvas>
    <audio id="audio" controls preload="auto"></audio>
    <a id="download" href="#">Download WAV</a>
    <div id="notes">
      <label>Note<br><textarea id="note" rows="3" cols="60"></textarea></label>
      <button id="save-note">Save note</button>
      <div>Tags: <span id="tags"></span> <input id="new-tag" size="12"> <button id="add-tag">Add tag</button></div>
      <div>Bookmarks: <ul id="bookmarks"></ul>
        <input id="bookmark-label" size="20" placeholder="label"> <button id="add-bookmark">Bookmark here</button></div>
      <div id="hold-box"><span id="hold-state"></span>
        <input id="hold-reason" size="40" placeholder="reason for the hold"> <button id="hold-button">Place Hold</button></div>
      <p id="notes-error" class="error"></p>
    </div>
  </section>
</main>
</body>
</html>
)HTML";

const char* const kAppJs = R"JS('use strict';
const $ = (id) => document.getElementById(id);
let csrf = '';
let page = 0;
let current = null;
let peaks = null;
let whyNoHold = '';

async function api(method, url, form) {
  const options = { method, headers: {}, credentials: 'same-origin' };
  if (method !== 'GET') {
    options.headers['X-CSRF-Token'] = csrf;
    options.body = new URLSearchParams(form || {});
  }
  const res = await fetch(url, options);
  const body = await res.json().catch(() => ({}));
  if (res.status === 401 && url !== '/api/login') { showLogin(); throw new Error(body.error || 'not logged in'); }
  if (!res.ok) throw new Error(body.error || res.statusText);
  return body;
}

function showLogin() {
  $('app').hidden = true; $('logout').hidden = true; $('who').textContent = '';
  $('login').hidden = false;
}

function showApp(user) {
  $('login').hidden = true; $('app').hidden = false; $('logout').hidden = false;
  $('who').textContent = user;
}

function day(d) { return d.toISOString().slice(0, 10); }
function localDay(d) { return new Date(d.getTime() - d.getTimezoneOffset() * 60000); }

function setRange(name) {
  const today = localDay(new Date());
  let from = new Date(today), to = new Date(today);
  if (name === 'Yesterday') { from.setUTCDate(from.getUTCDate() - 1); to = new Date(from); }
  if (name === 'Last 7 days') from.setUTCDate(from.getUTCDate() - 6);
  if (name === 'This month') from.setUTCDate(1);
  $('start-date').value = day(from); $('end-date').value = day(to);
  $('start-time').value = '00:00:00'; $('end-time').value = '23:59:59';
}

function seconds(t) { const [h, m, s] = t.split(':').map(Number); return h * 3600 + m * 60 + (s || 0); }
function clock(t) { return t.length === 5 ? t + ':00' : t; }

async function search() {
  const p = new URLSearchParams({ page });
  if ($('start-date').value) p.set('start', $('start-date').value + ' ' + clock($('start-time').value));
  if ($('end-date').value) p.set('end', $('end-date').value + ' ' + clock($('end-time').value));
  p.set('channel', $('channel').value || '0');
  if ($('number').value) p.set('number', $('number').value);
  if ($('compare').value) p.set('duration', $('compare').value + clock($('duration').value));
  if (!$('call-in').checked) p.set('in', '0');
  if (!$('call-out').checked) p.set('out', '0');
  if ($('tag').value) p.set('tag', $('tag').value);
  if ($('note-words').value) p.set('note', $('note-words').value);
  if ($('held-only').checked) p.set('held', '1');
  $('status').textContent = 'Searching...';
  try {
    const found = await api('GET', '/api/search?' + p);
    const body = $('rows').tBodies[0];
    body.replaceChildren();
    for (const r of found.rows) {
      const tr = body.insertRow();
      tr.dataset.key = r.key;
      for (const v of [r.channel, r.dateTime, r.number, r.duration, r.direction]) tr.insertCell().textContent = v;
      showHoldCell(tr.insertCell(), r.hold);
      tr.addEventListener('click', () => open(r));
    }
    const pages = Math.max(1, Math.ceil(found.total / found.pageSize));
    $('status').textContent = found.total + ' recordings';
    $('page').textContent = 'Page ' + (page + 1) + ' of ' + pages;
    $('previous').disabled = page === 0;
    $('next').disabled = page + 1 >= pages;
  } catch (e) { $('status').textContent = e.message; }
}

async function open(row) {
  current = row;
  for (const tr of $('rows').tBodies[0].rows) tr.classList.toggle('current', tr.dataset.key === String(row.key));
  $('player').hidden = false;
  $('player-title').textContent = row.dateTime + '  channel ' + row.channel + '  ' + row.number;
  $('audio').src = '/api/recordings/' + row.key + '/audio';
  $('download').href = '/api/recordings/' + row.key + '/download';
  peaks = null; draw();
  const [detail, wave] = await Promise.all([api('GET', '/api/recordings/' + row.key),
    api('GET', '/api/recordings/' + row.key + '/peaks').catch(() => null)]);
  whyNoHold = detail.whyNoHold;
  showNotes(detail.annotations);
  peaks = wave; draw();
}

function draw() {
  const c = $('waveform'), g = c.getContext('2d');
  g.fillStyle = '#10202c'; g.fillRect(0, 0, c.width, c.height);
  if (!peaks || !peaks.peaks.length) return;
  const n = peaks.peaks.length / 2, mid = c.height / 2;
  g.fillStyle = '#5cc8ff';
  for (let x = 0; x < c.width; x++) {
    const from = Math.floor(x * n / c.width), to = Math.max(from + 1, Math.floor((x + 1) * n / c.width));
    let lo = 0, hi = 0;
    for (let i = from; i < to; i++) { lo = Math.min(lo, peaks.peaks[2 * i]); hi = Math.max(hi, peaks.peaks[2 * i + 1]); }
    g.fillRect(x, mid - hi / 32768 * mid, 1, Math.max(1, (hi - lo) / 32768 * mid));
  }
  const a = $('audio'), total = peaks.frames / peaks.rate;
  if (total > 0) { g.fillStyle = '#ffcc00'; g.fillRect(a.currentTime / total * c.width, 0, 2, c.height); }
}

// A held row: the scales and the reason, the reason whole in its tool tip.
function showHoldCell(cell, hold) {
  cell.className = 'hold';
  cell.textContent = hold ? '\u2696 ' + hold.reason : '';
  cell.title = hold ? 'On hold since ' + hold.at + ' by ' + hold.by + ': ' + hold.reason : '';
}

function showHold(hold) {
  $('hold-state').textContent = hold ? '\u2696 On hold since ' + hold.at + ' by ' + hold.by : '';
  $('hold-reason').value = hold ? hold.reason : '';
  $('hold-reason').readOnly = !!hold;
  $('hold-button').textContent = hold ? 'Release Hold' : 'Place Hold';
  $('hold-button').disabled = whyNoHold !== '';
  $('hold-button').title = whyNoHold;
  for (const tr of $('rows').tBodies[0].rows)
    if (current && tr.dataset.key === String(current.key)) showHoldCell(tr.cells[5], hold);
}

async function holdClicked() {
  if ($('hold-button').textContent === 'Release Hold') {
    if (!confirm('Release the hold on this recording? It can then be deleted.')) return;
    await change('hold', { release: '1' });
  } else {
    await change('hold', { reason: $('hold-reason').value });
  }
}

function showNotes(a) {
  showHold(a.hold);
  $('note').value = a.note;
  const tags = $('tags'); tags.replaceChildren();
  for (const t of a.tags) {
    const b = document.createElement('button'); b.textContent = t + ' \u00d7'; b.title = 'Remove ' + t;
    b.addEventListener('click', () => change('tags', { remove: t }));
    tags.append(b);
  }
  const list = $('bookmarks'); list.replaceChildren();
  for (const m of a.bookmarks) {
    const li = document.createElement('li');
    const go = document.createElement('a'); go.href = '#'; go.textContent = m.second + ' s ' + m.label;
    go.addEventListener('click', (e) => { e.preventDefault(); $('audio').currentTime = m.second; $('audio').play(); });
    const del = document.createElement('button'); del.textContent = '\u00d7'; del.title = 'Remove';
    del.addEventListener('click', () => change('bookmarks', { remove: m.second }));
    li.append(go, ' ', del); list.append(li);
  }
}

async function change(what, form) {
  $('notes-error').textContent = '';
  try { showNotes(await api('POST', '/api/recordings/' + current.key + '/' + what, form)); }
  catch (e) { $('notes-error').textContent = e.message; }
}

window.addEventListener('DOMContentLoaded', async () => {
  setRange('Today');
  $('login').addEventListener('submit', async (e) => {
    e.preventDefault();
    $('login-error').textContent = '';
    try {
      const who = await api('POST', '/api/login', { name: $('login-name').value, password: $('login-password').value });
      csrf = who.csrf; $('login-password').value = ''; showApp(who.user);
    } catch (err) { $('login-error').textContent = err.message; }
  });
  $('logout').addEventListener('click', async () => { await api('POST', '/api/logout').catch(() => {}); showLogin(); });
  $('search').addEventListener('submit', (e) => { e.preventDefault(); page = 0; search(); });
  $('range').addEventListener('change', () => { if ($('range').value) setRange($('range').value); $('range').value = ''; });
  $('previous').addEventListener('click', () => { page--; search(); });
  $('next').addEventListener('click', () => { page++; search(); });
  $('waveform').addEventListener('click', (e) => {
    if (!peaks) return;
    const r = e.target.getBoundingClientRect();
    $('audio').currentTime = (e.clientX - r.left) / r.width * peaks.frames / peaks.rate;
    draw();
  });
  $('audio').addEventListener('timeupdate', draw);
  $('hold-button').addEventListener('click', holdClicked);
  $('save-note').addEventListener('click', () => change('note', { text: $('note').value }));
  $('add-tag').addEventListener('click', () => { if ($('new-tag').value) change('tags', { add: $('new-tag').value }); $('new-tag').value = ''; });
  $('add-bookmark').addEventListener('click', () =>
    change('bookmarks', { second: Math.floor($('audio').currentTime), label: $('bookmark-label').value }));
  try { const who = await api('GET', '/api/session'); csrf = who.csrf; showApp(who.user); } catch { showLogin(); }
});
)JS";

const char* const kAppCss = R"CSS(body { font-family: sans-serif; margin: 0 1em; background: #f6f7f9; color: #1b2530; }
header { display: flex; align-items: center; gap: 1em; }
header h1 { font-size: 1.3em; }
fieldset { border: 1px solid #c8ced6; margin: 0.4em 0; display: flex; flex-wrap: wrap; gap: 0.8em; align-items: center; }
table { border-collapse: collapse; width: 100%; background: white; }
th, td { border-bottom: 1px solid #dde2e8; padding: 0.25em 0.6em; text-align: left; }
tbody tr { cursor: pointer; }
tbody tr:hover { background: #eef4fb; }
tr.current { background: #d6e9fb; }
canvas { width: 100%; height: 120px; display: block; cursor: pointer; }
audio { width: 100%; }
.error { color: #b00020; }
#tags button { margin-right: 0.3em; }
td.hold { color: #8a4b00; max-width: 16em; overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }
#hold-box { margin: 0.4em 0; }
#hold-state { color: #8a4b00; margin-right: 0.5em; }
)CSS";

}  // namespace calldeck::web
