// The page of calldeck serve in a real browser: Debian's chromium, headless,
// driven by puppeteer-core. A desk is staged (an index with one 5-second
// call, a web user), the service started on it; the test logs in, searches
// the call's day, plays the row (the audio element reaches "playing" and its
// time advances), seeks by a click on the waveform, downloads the WAV, and
// writes a note, a tag and a bookmark, and places a hold, which its row shows.
// A screenshot of the page is left where the second argument says.
//
//   node page_test.mjs CALLDECK EMPTY_PLAYER_MDB WORK_FOLDER
import { spawn, spawnSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdirSync, readFileSync, rmSync, writeFileSync, readdirSync } from 'node:fs';
import { join } from 'node:path';
import puppeteer from 'puppeteer-core';

const [calldeck, emptyIndex, work] = process.argv.slice(2);
const failures = [];
const check = (ok, what) => { if (!ok) failures.push(what); console.log((ok ? 'ok: ' : 'FAILED: ') + what); };

// The staged desk: Player.mdb with one row, its WAV (a 440 Hz tone, 16-bit
// 8 kHz mono), and alice.
rmSync(work, { recursive: true, force: true });
const desk = join(work, 'desk');
mkdirSync(join(desk, 'calls'), { recursive: true, mode: 0o700 });
copyFileSync(emptyIndex, join(desk, 'Player.mdb'));
const frames = 8000 * 5;
const wav = Buffer.alloc(44 + frames * 2);
wav.write('RIFF', 0); wav.writeUInt32LE(36 + frames * 2, 4); wav.write('WAVEfmt ', 8);
wav.writeUInt32LE(16, 16); wav.writeUInt16LE(1, 20); wav.writeUInt16LE(1, 22); wav.writeUInt32LE(8000, 24);
wav.writeUInt32LE(16000, 28); wav.writeUInt16LE(2, 32); wav.writeUInt16LE(16, 34); wav.write('data', 36);
wav.writeUInt32LE(frames * 2, 40);
for (let i = 0; i < frames; i++) wav.writeInt16LE(Math.round((3000 + 9000 * Math.abs(Math.sin(Math.PI * i / 16000))) * Math.sin(2 * Math.PI * 440 * i / 8000)), 44 + 2 * i);
const recording = join(desk, 'calls', 'tone.WAV');
writeFileSync(recording, wav);
const sql = spawnSync('sqlite3', [join(desk, 'Player.mdb'),
  `insert into RecordFileInfo values('${recording}','2024-05-01 12:00:10','0003','555','00:00:05','IN')`]);
if (sql.status !== 0) throw new Error('the staged index could not be filled: ' + sql.stderr);
const env = { ...process.env, CALLDECK_PROGRAM_FOLDER: desk };
const add = spawnSync(calldeck, ['web-user', 'add', 'alice'], { env, input: 'correct horse\n' });
if (add.status !== 0) throw new Error('calldeck web-user add failed: ' + add.stderr);

const server = spawn(calldeck, ['serve', '--listen', '127.0.0.1:0'], { env, stdio: ['ignore', 'pipe', 'inherit'] });
const url = await new Promise((resolve, reject) => {
  let out = '';
  server.stdout.on('data', (d) => { out += d; const m = out.match(/listening on (\S+)/); if (m) resolve(m[1]); });
  server.on('exit', (code) => reject(new Error('calldeck serve ended with ' + code)));
  setTimeout(() => reject(new Error('calldeck serve did not say where it listens')), 30000);
});

const downloads = join(work, 'downloads');
mkdirSync(downloads, { recursive: true });
const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  userDataDir: join(work, 'profile'),
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required'],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 860 });
  page.on('pageerror', (e) => check(false, 'the page raised no error: ' + e.message));
  await page.goto(url);
  await page.waitForSelector('#login:not([hidden])');
  await page.type('#login-name', 'alice');
  await page.type('#login-password', 'correct horse');
  await page.click('#login-button');
  await page.waitForSelector('#app:not([hidden])', { timeout: 15000 });
  check(await page.$eval('#who', (e) => e.textContent) === 'alice', 'the page shows who is logged in');

  await page.$eval('#start-date', (e) => { e.value = '2024-05-01'; });
  await page.$eval('#end-date', (e) => { e.value = '2024-05-01'; });
  await page.click('#search-button');
  await page.waitForSelector('#rows tbody tr');
  const cells = await page.$$eval('#rows tbody tr td', (tds) => tds.map((td) => td.textContent));
  check(cells.join('|') === '0003|2024-05-01 12:00:10|555|00:00:05|IN|', 'the day\'s search shows the call: ' + cells.join('|'));

  await page.click('#rows tbody tr');
  await page.waitForFunction(() => document.getElementById('audio').readyState >= 3, { timeout: 15000 });
  const playing = await page.evaluate(() => new Promise((resolve) => {
    const a = document.getElementById('audio');
    a.addEventListener('playing', () => resolve(true), { once: true });
    a.play().catch(() => resolve(false));
    setTimeout(() => resolve(false), 10000);
  }));
  check(playing, 'the audio element reaches "playing"');
  const t0 = await page.$eval('#audio', (a) => a.currentTime);
  await new Promise((r) => setTimeout(r, 1200));
  const t1 = await page.$eval('#audio', (a) => a.currentTime);
  check(t1 > t0 + 0.3, `the playing time advances (${t0.toFixed(2)} s, then ${t1.toFixed(2)} s)`);

  await page.$eval('#audio', (a) => a.pause());
  const box = await (await page.$('#waveform')).boundingBox();
  await page.mouse.click(box.x + box.width * 0.75, box.y + box.height / 2);
  const seeked = await page.$eval('#audio', (a) => a.currentTime);
  check(Math.abs(seeked - 3.75) < 0.3, `a click at three quarters of the waveform seeks to 3.75 s (${seeked.toFixed(2)} s)`);

  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  await page.click('#download');
  let saved = null;
  for (let i = 0; i < 100 && !saved; i++) {
    const done = readdirSync(downloads).filter((f) => f.endsWith('.wav'));
    if (done.length) saved = join(downloads, done[0]); else await new Promise((r) => setTimeout(r, 100));
  }
  check(saved !== null && readFileSync(saved).equals(wav), 'the download is the recording\'s WAV');

  await page.type('#note', 'Asked for a refund of the May invoice.');
  await page.click('#save-note');
  await page.type('#new-tag', 'refund');
  await page.click('#add-tag');
  await page.waitForFunction(() => document.getElementById('tags').textContent.includes('refund'));
  await page.type('#bookmark-label', 'the amount');
  await page.click('#add-bookmark');
  await page.waitForFunction(() => document.getElementById('bookmarks').textContent.includes('the amount'));
  const stored = await page.evaluate(async () => {
    const key = document.querySelector('#rows tr.current').dataset.key;  // the row played, by its key
    return (await fetch(location.pathname + 'api/recordings/' + key)).json();
  });
  check(stored.annotations.note === 'Asked for a refund of the May invoice.' && stored.annotations.tags[0] === 'refund' &&
    stored.annotations.bookmarks[0].second === 3, 'the note, the tag and the bookmark at 3 s are stored');
  await page.type('#hold-reason', 'Disputed invoice');
  await page.click('#hold-button');
  await page.waitForFunction(() => document.getElementById('hold-button').textContent === 'Release Hold');
  check(await page.$eval('#rows tbody tr td.hold', (td) => td.textContent) === '\u2696 Disputed invoice',
    'the held row shows \u2696 and the reason');
  await page.screenshot({ path: join(work, 'web.png') });
} finally {
  await browser.close();
  server.kill('SIGTERM');
}
const audit = readdirSync(join(desk, 'PlayerAudit')).filter((f) => f.endsWith('.tsv'))
  .map((f) => readFileSync(join(desk, 'PlayerAudit', f), 'utf8')).join('');
check(/\tweb:alice\t127\.0\.0\.1 [^\t]*Chrome[^\t]*\tcalldeck\tplay\t/.test(audit), 'the play is audited with alice and her browser');
check(/\tweb:alice\t[^\t]*\tcalldeck\tdownload\t/.test(audit), 'the download is audited');
for (const act of ['note', 'tag', 'bookmark', 'hold']) check(new RegExp(`\\tweb:alice\\t[^\\t]*\\tcalldeck\\t${act}\\t`).test(audit), `the ${act} is audited`);
console.log(`${failures.length ? 0 : 1} passed, ${failures.length ? 1 : 0} failed`);
process.exit(failures.length ? 1 : 0);
