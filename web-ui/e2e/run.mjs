// Browser end-to-end tests of the dashboard against the real player with fake audio players.
//
//   node e2e/run.mjs <path to veltrano-player> [--out DIR]
//   node e2e/run.mjs --mock [--out DIR]        (against e2e/mock-player.mjs, while developing)
//
// The player runs as a release with a temporary HOME and bundle, on a free port, with "mpg123"
// and "aplay" replaced by scripts that log what they were asked to play, and with the remote
// service pointed at a closed port. Screenshots of every page, at desktop and phone width, go to
// DIST (default: dashboard-screenshots beside the player binary). Exit status 77 (reported as
// skipped) means this Node.js is too old for playwright-core, which needs version 20.
import { spawn } from 'node:child_process';
import { appendFileSync, chmodSync, cpSync, existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { createRequire } from 'node:module';
import { safetyTests } from './safety.mjs';
import { securityScenarios } from './security.mjs';
import { calendarImportScenario } from './calendar-import.mjs';
import { weekScenario } from './week.mjs';
import { calendarFeedsScenario } from './calendar-feeds.mjs';
import { speakScenario } from './speak.mjs';
import { soundLogScenario } from './sound-log.mjs';
import { backupScenario } from './backup.mjs';
import { crossSiteScenario } from './cross-site.mjs';
import { enDay } from './dates.mjs';
import { languageScenario } from './languages.mjs';
import { screensScenarios } from './screens.mjs';
import { liveScenarios } from './live.mjs';

const SKIP = 77;
const nodeMajor = Number(process.versions.node.split('.')[0]);
if (nodeMajor < 20) {
  console.log(`SKIP: the browser tests need Node.js 20 or newer (this is ${process.versions.node}).`);
  console.log('0 passed, 0 failed, 1 skipped');
  process.exit(SKIP);
}
const { chromium } = await import('playwright-core');
const WEB_UI = fileURLToPath(new URL('..', import.meta.url));
const REPO = resolve(WEB_UI, '..');
const DIST = join(WEB_UI, 'dist');
const FACTORY_ID = 'ID_factory_default_timetable';
const PASSWORD = 'school-bells-1';
// The player's default language (--language): what a browser asking for none of en, hu, de gets.
const PLAYER_LANGUAGE = 'de';
const DESKTOP = { width: 1280, height: 800 };
const PHONE = { width: 375, height: 740 };

const args = process.argv.slice(2);
const mock = args.includes('--mock');
const outIndex = args.indexOf('--out');
const binary = args.find((a, i) => !a.startsWith('--') && args[i - 1] !== '--out');
if (!mock && !binary) {
  console.error('usage: node e2e/run.mjs <veltrano-player> [--out DIR] | --mock [--out DIR]');
  process.exit(2);
}
const outDir = resolve(outIndex >= 0 ? args[outIndex + 1] : mock ? join(WEB_UI, 'e2e-out') : join(dirname(resolve(binary)), 'dashboard-screenshots'));
if (!existsSync(join(DIST, 'index.html'))) {
  console.error(`${DIST}/index.html is missing: build the dashboard first (cd web-ui && npm ci && npm run build).`);
  process.exit(1);
}

const AXE = createRequire(import.meta.url).resolve('axe-core/axe.min.js');
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function freePort() {
  return new Promise((res, rej) => {
    const srv = createServer();
    srv.on('error', rej);
    srv.listen(0, '127.0.0.1', () => {
      const { port } = srv.address();
      srv.close(() => res(port));
    });
  });
}

/** A short, valid WAV file of silence (half a second, 8 kHz, 16-bit mono). */
function wavFile(path, seed) {
  const samples = 4000;
  const b = Buffer.alloc(44 + samples * 2);
  b.write('RIFF', 0);
  b.writeUInt32LE(36 + samples * 2, 4);
  b.write('WAVEfmt ', 8);
  b.writeUInt32LE(16, 16);
  b.writeUInt16LE(1, 20);
  b.writeUInt16LE(1, 22);
  b.writeUInt32LE(8000, 24);
  b.writeUInt32LE(16000, 28);
  b.writeUInt16LE(2, 32);
  b.writeUInt16LE(16, 34);
  b.write('data', 36);
  b.writeUInt32LE(samples * 2, 40);
  b.writeUInt16LE(seed, 44);
  writeFileSync(path, b);
}

const tmp = mkdtempSync(join(tmpdir(), 'veltrano-e2e-'));
const home = join(tmp, 'home');
const playLog = join(tmp, 'played.log');
mkdirSync(home);
mkdirSync(outDir, { recursive: true });
for (const f of readdirSync(outDir)) if (/\.(png|log)$/.test(f)) rmSync(join(outDir, f));
writeFileSync(playLog, '');

let player;
let server;
let serverLog = '';
let base;

/** Starts the player (again, on the same port and data, when port is given). */
async function startPlayer(port = undefined) {
  port ??= await freePort();
  base = `http://127.0.0.1:${port}`;
  if (mock) {
    const { createMockPlayer } = await import('./mock-player.mjs');
    server = createMockPlayer({ playLog });
    await new Promise((r) => server.listen(port, '127.0.0.1', r));
    return;
  }
  const bundle = join(tmp, 'bundle');
  cpSync(join(REPO, 'assets'), join(bundle, 'assets'), { recursive: true });
  if (!existsSync(join(bundle, 'assets', 'version.info'))) writeFileSync(join(bundle, 'assets', 'version.info'), 'e2e\n');
  cpSync(DIST, join(bundle, 'web-ui', 'dist'), { recursive: true });
  const bin = join(tmp, 'bin');
  mkdirSync(bin, { recursive: true });
  for (const name of ['mpg123', 'aplay']) {
    writeFileSync(join(bin, name), `#!/bin/sh\nfor a in "$@"; do last="$a"; done\necho "${name} $last" >> '${playLog}'\nexec sleep 1\n`);
    chmodSync(join(bin, name), 0o755);
  }
  const closedPort = await freePort();
  player = spawn(resolve(binary), ['--port', String(port), '--language', PLAYER_LANGUAGE], {
    env: { ...process.env, HOME: home, VELTRANO_BUNDLE: bundle, VELTRANO_SERVICE_URL: `http://127.0.0.1:${closedPort}`, PATH: `${bin}:${process.env.PATH}` },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  const collect = (d) => {
    serverLog += d.toString();
  };
  player.stdout.on('data', collect);
  player.stderr.on('data', collect);
  let exited = null;
  player.on('exit', (code, signal) => {
    exited = { code, signal };
  });
  const deadline = Date.now() + 20000;
  while (Date.now() < deadline) {
    if (exited) {
      throw new Error(`the player ended before serving (code ${exited.code}, signal ${exited.signal}):\n${serverLog}`);
    }
    try {
      const r = await fetch(`${base}/whoami`);
      if ((await r.text()) === 'Veltrano Player Backend') return;
    } catch {
      // not listening yet
    }
    await sleep(100);
  }
  throw new Error(`the player did not answer /whoami within 20 s:\n${serverLog}`);
}

async function stopPlayer() {
  if (server) await new Promise((r) => server.close(r));
  if (player && player.exitCode === null) {
    player.kill('SIGTERM');
    await Promise.race([new Promise((r) => player.once('exit', r)), sleep(3000)]);
    if (player.exitCode === null) player.kill('SIGKILL');
  }
}

// ---- a tiny test runner ------------------------------------------------------------------------
const results = [];
const measures = {};

function check(condition, message) {
  if (!condition) throw new Error(message);
}

async function waitFor(fn, message, ms = 8000) {
  const deadline = Date.now() + ms;
  for (;;) {
    const v = await fn();
    if (v) return v;
    if (Date.now() > deadline) throw new Error(`timed out: ${message}`);
    await sleep(100);
  }
}

async function api(page, path) {
  return page.evaluate(async (p) => {
    const r = await fetch(p, { credentials: 'same-origin' });
    return { status: r.status, text: await r.text() };
  }, path);
}

const played = () => readFileSync(playLog, 'utf8');

/** Every visible form control has a name a screen reader can announce. */
async function unlabelledControls(page) {
  return page.evaluate(() =>
    [...document.querySelectorAll('input, select, textarea, button')]
      .filter((el) => el.offsetParent !== null && el.type !== 'hidden')
      .filter((el) => !(el.labels?.length || el.getAttribute('aria-label') || el.getAttribute('aria-labelledby') || (el.tagName === 'BUTTON' && el.textContent.trim())))
      .map((el) => el.outerHTML.slice(0, 80)),
  );
}

/** WCAG 2 A/AA violations that axe-core finds in the page as it is now (contrast, names, roles). */
async function accessibilityViolations(page) {
  // Evaluated, not added as a script tag: the dashboard's policy refuses inline scripts.
  await page.evaluate(readFileSync(AXE, 'utf8'));
  const violations = await page.evaluate(async () => {
    const r = await window.axe.run(document, { runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'] } });
    return r.violations.map((v) => `${v.id} (${v.nodes.length}): ${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(', ')}`);
  });
  return violations;
}

/** Whether the page scrolls sideways at its current width (it must not on a phone). */
async function overflowsSideways(page) {
  return page.evaluate(() => document.documentElement.scrollWidth > window.innerWidth + 1);
}

async function screenshotAll(page, name, sizes = [['desktop', DESKTOP], ['phone', PHONE]]) {
  const problems = [];
  for (const [label, size] of sizes) {
    await page.setViewportSize(size);
    await sleep(150);
    await page.screenshot({ path: join(outDir, `${name}-${label}.png`), fullPage: true });
    if (size.width <= PHONE.width && (await overflowsSideways(page))) problems.push(`${name} scrolls sideways at ${size.width} px`);
    const violations = await accessibilityViolations(page);
    if (violations.length) problems.push(`${name} (${label}) accessibility: ${violations.join(' ; ')}`);
  }
  await page.setViewportSize(DESKTOP);
  const unlabelled = await unlabelledControls(page);
  if (unlabelled.length) problems.push(`${name} has controls without a label: ${unlabelled.join(' ; ')}`);
  return problems;
}

async function main() {
  await startPlayer();
  const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--host-resolver-rules=MAP rebind.test 127.0.0.1', '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const context = await browser.newContext({ viewport: DESKTOP, acceptDownloads: true, locale: 'en-US' });
  const page = await context.newPage();
  page.setDefaultTimeout(10000);
  page.on('dialog', (d) => void d.accept());
  const consoleErrors = [];
  page.on('pageerror', (e) => consoleErrors.push(e.message));

  const test = async (name, fn) => {
    const started = Date.now();
    try {
      await fn();
      results.push({ name, ok: true });
      console.log(`ok   ${name} (${Date.now() - started} ms)`);
    } catch (e) {
      results.push({ name, ok: false });
      console.log(`FAIL ${name}: ${e.message}`);
      await page.screenshot({ path: join(outDir, `FAIL-${name.replace(/\W+/g, '-')}.png`), fullPage: true }).catch(() => {});
    }
  };

  if (!mock) await crossSiteScenario({ browser, base, test, check, waitFor, rebindHost: 'rebind.test' });

  await test('first start: any page leads to the welcome page, which can switch the bells off', async () => {
    await page.goto(`${base}/timetables`);
    await page.waitForURL(`${base}/welcome`);
    await page.getByRole('button', { name: "Switch bells off until I'm ready" }).click();
    await page.getByText('The bells are off.').waitFor();
    const settings = JSON.parse((await api(page, '/api/get/settings')).text);
    check(settings.schedulerEnable === false, 'the bells are still on');
    const on = await page.evaluate(async () => (await fetch('/db/settings/update', { method: 'POST', body: '{"schedulerEnable": true}' })).status);
    check(on === 200, `switching the bells on again answered ${on}`);
  });

  await test('first start: the welcome page sets the password and logs in', async () => {
    await page.goto(`${base}/welcome?isTray=1`);
    await page.getByRole('heading', { name: 'Welcome to Veltrano Player' }).waitFor();
    check(await page.getByText('notification area').isVisible(), 'tray hint missing with ?isTray=1');
    const overview = JSON.parse((await api(page, '/api/get/overview')).text);
    check(overview.passwordMissing === true, 'a fresh player should have no password');
    await page.getByLabel('New password', { exact: true }).fill('abc');
    await page.getByLabel('Repeat the new password').fill('abc');
    await page.getByRole('button', { name: 'Set password and continue' }).click();
    await page.getByText('at least 6 characters').first().waitFor();
    await page.getByLabel('New password', { exact: true }).fill(PASSWORD);
    await page.getByLabel('Repeat the new password').fill(PASSWORD);
    await page.getByRole('button', { name: 'Set password and continue' }).click();
    await page.waitForURL(`${base}/`);
    await page.getByRole('heading', { name: 'Home' }).waitFor();
    const after = JSON.parse((await api(page, '/api/get/overview')).text);
    check(after.passwordMissing === false, 'the password was not set');
  });

  await test('logout locks the API and the pages; a wrong password says "Login failed"', async () => {
    await page.getByRole('button', { name: 'Log out' }).click();
    await page.waitForURL(`${base}/login`);
    const db = await api(page, '/db');
    check(db.status === 400 && db.text === 'No auth', `/db after logout answered ${db.status} ${db.text}`);
    await page.goto(`${base}/timetables`);
    await page.waitForURL(`${base}/login`);
    await page.getByLabel('Password').fill('wrong password');
    await page.getByRole('button', { name: 'Log in' }).click();
    await page.getByText('Login failed').waitFor();
    check(page.url() === `${base}/login`, 'a wrong password left the login page');
  });

  await test('login by keyboard opens the dashboard, and the clock runs', async () => {
    await page.getByLabel('Password').fill(PASSWORD);
    await page.getByLabel('Password').press('Enter');
    await page.waitForURL(`${base}/`);
    await waitFor(() => page.evaluate(() => document.activeElement?.id === 'page-title'), 'the new page\'s heading takes the focus');
    const clock = page.locator('.clock time');
    const first = await waitFor(async () => {
      const t = await clock.textContent();
      return /^\d\d:\d\d:\d\d$/.test(t ?? '') && t;
    }, 'clock shows the server time');
    await waitFor(async () => (await clock.textContent()) !== first, 'clock advances', 4000);
    check((await api(page, '/db')).status === 200, '/db is not open after login');
  });

  await test('a "No auth" answer sends the user to the login page', async () => {
    const other = await browser.newContext({ viewport: DESKTOP });
    try {
      const p2 = await other.newPage();
      await p2.goto(`${base}/welcome`);
      await p2.getByLabel('New password', { exact: true }).fill('intruder-1');
      await p2.getByLabel('Repeat the new password').fill('intruder-1');
      await p2.getByRole('button', { name: 'Set password and continue' }).click();
      await p2.waitForURL(`${base}/login`);
      const problems = await screenshotAll(p2, 'login');
      await p2.goto(`${base}/welcome`);
      await p2.getByRole('heading', { name: 'Welcome to Veltrano Player' }).waitFor();
      problems.push(...(await screenshotAll(p2, 'welcome')));
      check(problems.length === 0, problems.join('\n'));
    } finally {
      await other.close();
    }
  });

  await test('edit a timetable: bad input is refused, the saved lessons are in /db', async () => {
    await page.goto(`${base}/timetables`);
    await page.getByRole('link', { name: 'Edit Default' }).click();
    await page.waitForURL(`${base}/timetables/${FACTORY_ID}`);
    await page.getByLabel('Lesson 1 start').first().fill('25:00');
    await page.getByRole('button', { name: 'Save timetable' }).click();
    await page.getByText('Please correct these before saving').waitFor();
    await page.getByText('Channel A, lesson 1: Start').waitFor();
    const unchanged = JSON.parse((await api(page, '/db')).text);
    check(unchanged.timetables[FACTORY_ID].chA.lessons[0] === '08:00 - 08:45', 'refused input reached the player');
    await page.getByLabel('Lesson 1 start').first().fill('7:45');
    await page.getByLabel('Lesson 1 end').first().fill('08:30');
    await page.locator('#chA-lesson-5-end').fill('13:45:30');
    await page.getByRole('button', { name: 'Add lesson' }).first().click();
    await page.getByRole('button', { name: 'Add extra bell' }).click();
    await page.locator('#custom-0-signal').selectOption('ID_ping');
    await page.locator('#custom-0-repeat').check();
    await page.locator('#custom-0-iterations').fill('3');
    await page.locator('#custom-0-slot-0').fill('10:15:30');
    await page.getByRole('button', { name: 'Save timetable' }).click();
    await page.getByText('Saved.').waitFor();
    const db = JSON.parse((await api(page, '/db')).text);
    const lessons = db.timetables[FACTORY_ID].chA.lessons;
    check(lessons.length === 7, `expected 7 lessons, got ${JSON.stringify(lessons)}`);
    check(lessons[0] === '07:45 - 08:30', `first lesson is ${lessons[0]}`);
    check(lessons[5] === '13:00 - 13:45:30', `sixth lesson is ${lessons[5]}`);
    check(lessons[6] === '14:00 - 14:45', `added lesson is ${lessons[6]}`);
    check(db.timetables[FACTORY_ID].chA.startOfClass.id === 'ID_melody', 'the start signal was lost');
    const custom = db.timetables[FACTORY_ID].customPlays;
    check(custom.length === 1 && custom[0].slots[0] === '10:15:30' && custom[0].desc.id === 'ID_ping' && custom[0].desc.doRepeat && custom[0].desc.iterations === 3, `custom plays stored as ${JSON.stringify(custom)}`);
    const problems = await screenshotAll(page, 'timetable-editor');
    check(problems.length === 0, problems.join('\n'));
  });

  await test('create a timetable, make it the default, rename and delete', async () => {
    await page.goto(`${base}/timetables`);
    await page.getByLabel('Name', { exact: true }).fill('Exam day');
    await page.getByLabel('Start from').selectOption({ label: 'A copy of Default' });
    await page.getByRole('button', { name: 'Create and edit' }).click();
    await page.waitForURL(/\/timetables\/[0-9a-f-]{36}$/);
    const id = page.url().split('/').pop();
    const list = JSON.parse((await api(page, '/db/timetables')).text);
    const created = list.find((t) => t.id === id);
    check(created?.name === 'Exam day' && created.chA.lessons[0] === '07:45 - 08:30', 'the copy is not in /db/timetables');
    await page.goto(`${base}/timetables`);
    await page.getByRole('button', { name: 'Make Exam day the default' }).click();
    await page.getByText('now rings on every school day').waitFor();
    check(JSON.parse((await api(page, '/api/get/settings')).text).defaultTimetableId === id, 'default not changed');
    await page.getByRole('button', { name: 'Delete Exam day' }).click();
    await page.getByText('is the default timetable').waitFor();
    await page.getByRole('button', { name: 'Make Default the default' }).click();
    await page.getByRole('button', { name: 'Rename Exam day' }).click();
    await page.getByLabel('New name').fill('Exams');
    await page.getByRole('button', { name: 'Save name' }).click();
    await page.getByRole('link', { name: 'Exams', exact: true }).waitFor();
    await page.getByRole('button', { name: 'Delete Exams' }).click();
    await waitFor(async () => !(await page.getByRole('link', { name: 'Exams', exact: true }).count()), 'deleted timetable disappears');
    const left = JSON.parse((await api(page, '/db/timetables')).text);
    check(left.length === 1 && left[0].id === FACTORY_ID, `timetables left: ${left.map((t) => t.name)}`);
    const problems = await screenshotAll(page, 'timetables');
    check(problems.length === 0, problems.join('\n'));
  });

  await test('a holiday event shows in the month view, and goes again when deleted', async () => {
    await page.goto(`${base}/calendar`);
    await page.locator('table.month').waitFor();
    const month = JSON.parse((await api(page, '/api/get/calendarDays?offset=0')).text);
    const workday = month.days.find((d) => d.isGivenMonth && d.id === FACTORY_ID);
    check(workday, 'no school day with the default timetable this month');
    const date = `${month.year}-${String(month.month).padStart(2, '0')}-${String(workday.day).padStart(2, '0')}`;
    const cell = page.locator(`table.month td[data-date-day="${workday.day}"]`);
    check((await cell.getAttribute('data-timetable')) === FACTORY_ID, 'month view does not show the default timetable');
    await page.getByLabel('First day').fill(date);
    await page.getByLabel('Last day').fill(date);
    await page.getByLabel('Timetable on these days').first().selectOption({ label: 'No bells (day off)' });
    await page.getByRole('button', { name: 'Add event', exact: true }).click();
    await page.getByText(`${enDay(date)}: No bells`).waitFor();
    await waitFor(async () => (await cell.getAttribute('data-timetable')) === 'NULL', 'the holiday shows in the month view');
    const info = JSON.parse((await api(page, '/api/get/calendarInfo')).text);
    check(info.singleEvents.length === 1 && info.singleEvents[0].timeTableId === 'NULL', 'event not stored');
    await page.getByLabel('Last day').fill('2020-01-01');
    await page.getByRole('button', { name: 'Add event', exact: true }).click();
    await page.getByText('The last day is before the first day.').waitFor();
    await page.getByLabel('Monday').check();
    await page.getByLabel('Wednesday').check();
    await page.getByLabel('Odd weeks').check();
    await page.getByRole('button', { name: 'Add weekly event' }).click();
    await page.getByText('Mon, Wed, odd weeks: Default').waitFor();
    const recurring = JSON.parse((await api(page, '/api/get/calendarInfo')).text).reoccurringEvents;
    check(recurring.length === 1 && recurring[0].days === 5 && recurring[0].mode === 3, `weekly event stored as ${JSON.stringify(recurring)}`);
    await page.getByLabel('School days of the week').selectOption({ label: 'Monday to Saturday' });
    await page.getByText('The working week is changed.').waitFor();
    check(JSON.parse((await api(page, '/api/get/calendarInfo')).text).workdayMode === 16, 'working week not stored');
    await page.getByLabel("No bells during the region's school breaks").uncheck();
    await page.getByText('ring like school days').waitFor();
    const thisMonth = await page.locator('#month-title').textContent();
    await page.getByRole('button', { name: 'Next month' }).click();
    await waitFor(async () => (await page.locator('#month-title').textContent()) !== thisMonth, 'the next month is shown');
    await page.getByRole('button', { name: 'Back to this month' }).click();
    const problems = await screenshotAll(page, 'calendar');
    await page.getByRole('button', { name: `Delete event ${enDay(date)}: No bells` }).click();
    await waitFor(async () => (await cell.getAttribute('data-timetable')) !== 'NULL', 'the deleted holiday leaves the month view');
    check(problems.length === 0, problems.join('\n'));
  });

  await test('term dates imported from an .ics file show in the month view, once', () => calendarImportScenario({ page, base, tmp, api, check, waitFor, screenshotAll }));

  await test('days off by name in the month, the week and on Home; ten lessons print on one A4 page', () =>
    weekScenario({ page, base, outDir, api, check, waitFor, screenshotAll, sizes: [['laptop', { width: 1366, height: 850 }], ['phone', { width: 375, height: 812 }]] }));

  if (!mock) await test('a subscribed district calendar is fetched, replaced when it changes, kept while it cannot be reached', () => calendarFeedsScenario({ page, base, api, check, waitFor, screenshotAll, outDir }));

  await test('upload a signal and play it; a duplicate and a wrong file are refused in words', async () => {
    const wav = join(tmp, 'e2e-bell.wav');
    wavFile(wav, 1234);
    await page.goto(`${base}/signals`);
    await page.getByLabel('Audio file (MP3 or WAV)').first().setInputFiles(wav);
    await page.getByRole('button', { name: 'Upload', exact: true }).first().click();
    await page.getByText('"e2e-bell.wav" is uploaded.').waitFor();
    await page.getByRole('button', { name: 'Play e2e-bell' }).click();
    await page.getByText('Playing "e2e-bell".').waitFor();
    const line = await waitFor(() => played().split('\n').find((l) => l.endsWith('.wav')), 'the fake player was asked to play the upload');
    check(mock || line.startsWith('aplay ') && line.includes('.VeltranoPlayer'), `played: ${line}`);
    await page.getByLabel('Audio file (MP3 or WAV)').first().setInputFiles(wav);
    await page.getByRole('button', { name: 'Upload', exact: true }).first().click();
    await page.getByText('File is already uploaded').waitFor();
    const txt = join(tmp, 'notes.txt');
    writeFileSync(txt, 'not audio');
    await page.getByLabel('Audio file (MP3 or WAV)').first().setInputFiles(txt);
    await page.getByRole('button', { name: 'Upload', exact: true }).first().click();
    await page.getByText('MP3 and WAV files').first().waitFor();
    const signals = JSON.parse((await api(page, '/api/get/signals')).text);
    check(signals.filter((s) => s.name === 'e2e-bell').length === 1, 'the upload is not listed exactly once');
    const download = await api(page, `/get_signal_file/${signals.find((s) => s.name === 'e2e-bell').id}`);
    check(download.status === 200, `download answered ${download.status}`);
  });

  await test('programme a song, and an announcement failure is shown in words', async () => {
    const wav = join(tmp, 'e2e-song.wav');
    wavFile(wav, 999);
    const { date } = JSON.parse((await api(page, '/api/get/programmeInfo')).text);
    await page.getByLabel('Name', { exact: true }).first().fill('Morning song');
    await page.locator('#upload-song-date').fill('2020-01-01');
    await page.locator('#upload-song-time').fill('08:00');
    await page.locator('#upload-song-file').setInputFiles(wav);
    await page.getByRole('button', { name: 'Upload', exact: true }).nth(1).click();
    await page.getByText("has already passed on the player's clock").waitFor();
    check(JSON.parse((await api(page, '/api/get/programmeInfo')).text).programmes.length === 0, 'a past programme was stored');
    await page.locator('#upload-song-date').fill(`${Number(date.slice(0, 4)) + 1}${date.slice(4)}`.replace('-02-29', '-02-28'));
    await page.locator('#upload-song-time').fill('23:59');
    await page.locator('#upload-song-file').setInputFiles(wav);
    await page.getByRole('button', { name: 'Upload', exact: true }).nth(1).click();
    await page.getByText('"Morning song" is programmed.').waitFor();
    await page.getByRole('rowheader', { name: 'Morning song' }).waitFor();
    await page.getByLabel('Announcement code').fill('abc123');
    await page.getByRole('button', { name: 'Play now' }).click();
    await page.getByText('Failed to download announcement').waitFor();
    const problems = await screenshotAll(page, 'signals');
    check(problems.length === 0, problems.join('\n'));
  });

  await test('a typed announcement is previewed, spoken now and programmed', () => speakScenario({ page, base, api, check, waitFor, played, screenshotAll }));

  await test('the alarm button starts and stops the alarm', async () => {
    await page.goto(`${base}/`);
    const before = played().length;
    const button = page.getByRole('button', { name: 'Start the alarm' });
    await button.click();
    const stop = page.getByRole('button', { name: 'Stop the alarm' });
    await stop.waitFor();
    check((await stop.getAttribute('aria-pressed')) === 'true', 'the alarm button does not show its state');
    check(JSON.parse((await api(page, '/api/get/overview')).text).alarmActive === true, 'alarm not active');
    await waitFor(() => played().slice(before).includes('alarm.mp3'), 'the alarm sound was started');
    const problems = await screenshotAll(page, 'home-alarm');
    await stop.click();
    await page.getByRole('button', { name: 'Start the alarm' }).waitFor();
    check(JSON.parse((await api(page, '/api/get/overview')).text).alarmActive === false, 'alarm still active');
    check(problems.length === 0, problems.join('\n'));
  });

  await test('master switch and today\'s timetable change what is active', async () => {
    await page.goto(`${base}/`);
    await page.getByLabel('Timetable for today only').selectOption({ label: 'No bells today' });
    await page.getByText('Tomorrow follows the calendar again').waitFor();
    let info = JSON.parse((await api(page, '/api/get/overview')).text).activeTimetableInfo;
    check(info.id === 'NULL', `hand choice not active: ${JSON.stringify(info)}`);
    await page.getByLabel('Timetable for today only').selectOption({ label: 'Follow the calendar' });
    await page.getByText('Today follows the calendar again').waitFor();
    await page.getByLabel('Ring the bells automatically').uncheck();
    await page.locator('.msg-ok', { hasText: 'Automatic bells are off.' }).waitFor();
    await page.getByText('Automatic bells are switched off').waitFor();
    info = JSON.parse((await api(page, '/api/get/overview')).text).activeTimetableInfo;
    check(info.source === 'DISABLED', `master switch not off: ${JSON.stringify(info)}`);
    const problems = await screenshotAll(page, 'home');
    await page.getByLabel('Ring the bells automatically').check();
    await page.getByText('Automatic bells are on.').waitFor();
    check(problems.length === 0, problems.join('\n'));
  });

  await test('settings: alarm pause is checked in the form and saved', async () => {
    await page.goto(`${base}/settings`);
    await page.getByLabel('Pause between alarm repetitions (seconds)').fill('-3');
    await page.getByRole('button', { name: 'Save', exact: true }).click();
    await page.getByText('enter a number of seconds from 0 to 600').waitFor();
    await page.getByLabel('Pause between alarm repetitions (seconds)').fill('2.5');
    await page.getByLabel('Alarm signal').selectOption({ label: 'ring (3 s)' });
    await page.getByRole('button', { name: 'Save', exact: true }).click();
    await page.getByText('Saved.').waitFor();
    const s = JSON.parse((await api(page, '/api/get/settings')).text);
    check(s.alarmDelaySec === 2.5 && s.alarmSignalId === 'ID_ring', `settings stored as ${s.alarmDelaySec} ${s.alarmSignalId}`);
    const problems = await screenshotAll(page, 'settings');
    check(problems.length === 0, problems.join('\n'));
  });

  await test('a backup is downloaded and restored; a snapshot undoes the restore', () => backupScenario({ page, base, api, check, waitFor, tmp, screenshotAll }));

  await safetyTests({ test, browser, context, page, base, api, check, waitFor, tmp, screenshotAll });
  await test('the log shows what sounded, Stop all sounds silences the alarm, Home warns of an unsynchronised clock', () =>
    soundLogScenario({ page, base, api, check, waitFor, played, screenshotAll }));

  // Kills the player and starts it again on the same port and data.
  if (!mock) {
    const killPlayer = () => player.kill('SIGKILL');
    const restartPlayer = () => startPlayer(Number(new URL(base).port));
    await liveScenarios({ test, context, base, check, waitFor, screenshotAll, killPlayer, restartPlayer });
  }

  await test('time to first render of the home page', async () => {
    const fresh = await context.newPage();
    await fresh.goto(`${base}/`);
    await fresh.getByRole('heading', { name: 'Home' }).waitFor();
    await fresh.locator('.today-card dl').waitFor();
    const t = await fresh.evaluate(() => {
      const nav = performance.getEntriesByType('navigation')[0];
      const paint = Object.fromEntries(performance.getEntriesByType('paint').map((p) => [p.name, p.startTime]));
      return { domContentLoaded: nav.domContentLoadedEventEnd, load: nav.loadEventEnd, firstContentfulPaint: paint['first-contentful-paint'], now: performance.now() };
    });
    measures.firstRender = t;
    await fresh.close();
    check(t.firstContentfulPaint > 0, 'no first contentful paint recorded');
  });

  await test('every page in English, Hungarian and German: no sideways scrolling, no English left in the menu', () =>
    languageScenario({ browser, context, base, check, outDir, factoryId: FACTORY_ID, playerLanguage: PLAYER_LANGUAGE }));

  if (!mock) await screensScenarios({ test, page, base, api, check, waitFor, tmp, dataDir: join(home, '.VeltranoPlayer'), outDir, wavFile, screenshotAll });
  await page.setViewportSize(DESKTOP);

  await securityScenarios({ browser, base, test, check, api, password: PASSWORD, dataDir: mock ? undefined : join(home, '.VeltranoPlayer') });
  await test('no script errors in the pages', async () => {
    check(consoleErrors.length === 0, consoleErrors.join(' | '));
  });
  await browser.close();
}

let exitCode = 1;
try {
  await main();
  const failed = results.filter((r) => !r.ok).length;
  if (measures.firstRender) {
    const f = measures.firstRender;
    console.log(`first render: first contentful paint ${f.firstContentfulPaint?.toFixed(0)} ms, DOMContentLoaded ${f.domContentLoaded.toFixed(0)} ms, load ${f.load.toFixed(0)} ms, today's timetable shown by ${f.now.toFixed(0)} ms`);
  }
  console.log(`screenshots: ${outDir}`);
  console.log(`${results.length - failed} passed, ${failed} failed`);
  exitCode = failed ? 1 : 0;
} catch (e) {
  console.log(`ERROR ${e.stack ?? e}`);
  const failed = results.filter((r) => !r.ok).length + 1;
  console.log(`${results.length - failed + 1} passed, ${failed} failed`);
} finally {
  if (serverLog) writeFileSync(join(outDir, 'player.log'), serverLog);
  appendFileSync(join(outDir, 'played.log'), existsSync(playLog) ? played() : '');
  await stopPlayer();
  rmSync(tmp, { recursive: true, force: true });
}
process.exit(exitCode);
