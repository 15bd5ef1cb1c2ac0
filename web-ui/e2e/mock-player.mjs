// A stand-in for the player's HTTP API, in memory, for working on the dashboard without the C++
// back end (`node e2e/mock-player.mjs [port]`, or `node e2e/run.mjs --mock`). It follows the
// player's routes, answers and error texts; it rings nothing and saves nothing.
import { createServer } from 'node:http';
import { createHash, randomUUID } from 'node:crypto';
import { appendFileSync, existsSync, readFileSync, statSync } from 'node:fs';
import { extname, join, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';

const ROOT = fileURLToPath(new URL('../..', import.meta.url));
const DIST = join(ROOT, 'web-ui', 'dist');
const ASSETS = join(ROOT, 'assets');

const play = (id) => ({ id, doRepeat: false, iterations: 2, delaySec: 1.0 });
const channel = () => ({
  lessons: [8, 9, 10, 11, 12, 13].map((h) => `${String(h).padStart(2, '0')}:00 - ${String(h).padStart(2, '0')}:45`),
  startOfClass: play('ID_melody'), endOfClass: play('ID_melody'), preStartWaitMin: 5, preStart: play('ID_ping'), preEndWaitMin: 5, preEnd: play('ID_ping'),
});
const BUILT_IN = [['double', 'p-double.mp3', 2, 'ID_double'], ['robot', 'p-robot.mp3', 2, 'ID_robot'], ['ping', 'p-ping.mp3', 3, 'ID_ping'], ['triplet', 'p-triplet.mp3', 2, 'ID_triplet'], ['vibraphone', 'p-vibraphone.mp3', 3, 'ID_vibraphone'], ['cartoon', 's-cartoon.mp3', 11, 'ID_cartoon'], ['guitar', 's-guitar.mp3', 5, 'ID_guitar'], ['melody', 's-melody.mp3', 11, 'ID_melody'], ['ring', 's-ring.mp3', 3, 'ID_ring'], ['alarm', 'alarm.mp3', 5, 'ID_alarm'], ['intercom', 'p-intercom.mp3', 2, 'ID_intercom'], ['BigBen', 's-bigben.mp3', 7, 'ID_bigben']];

export function createMockPlayer({ playLog, withRegion = false } = {}) {
  let password = null;
  let alarm = false;
  let playingUntil = 0;
  const sessions = new Map();
  const files = new Map();
  const db = {
    dbVersion: 2,
    settings: {
      defaultTimetableId: 'ID_factory_default_timetable', schedulerEnable: true, dailyPreferences: { selectedTimetableId: null, _lastDay: -1 },
      alarmSignalId: 'ID_alarm', alarmDelaySec: 0.0, announcementSignalId: 'ID_intercom',
      calendar: { workdayMode: 15, syncRegionId: 'hu', syncSchoolHolidays: true, singleEvents: [], reoccurringEvents: [] },
    },
    songs: new Map(BUILT_IN.map(([name, filename, lengthSec, id]) => [id, { name, md5: '', filename, lengthSec, storageCategory: 0, lastModified: new Date().toISOString() }])),
    programmes: new Map(),
    timetables: new Map([['ID_factory_default_timetable', { name: 'Default', chA: channel(), chB: channel(), customPlays: [] }]]),
  };
  const today = () => new Date().toISOString().slice(0, 10);
  const regions = new Map();
  if (withRegion) {
    const y = new Date().getFullYear();
    regions.set('hu', { name: 'Hungary', preferredWorkdayMode: 15, provideHolidays: true, validUntil: `${y}-12-31`, holidays: [`${y}-12-25`, `${y}-12-26`, `${y}-03-15`], schoolBreaks: [`${y}-12-22`, `${y}-12-23`, `${y}-12-29`, `${y}-12-30`, `${y}-12-31`], extraWorkdays: [`${y}-12-12`] });
  }
  const table = (map, filter = () => true) => [...map].filter(([, v]) => filter(v)).map(([id, v]) => ({ ...v, id }));
  const obj = (map) => Object.fromEntries(map);
  const pad = (n) => String(n).padStart(2, '0');
  const iso = (d) => `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())}`;
  const wday = (d) => (d.getDay() + 6) % 7;
  const isoWeek = (d) => {
    const t = new Date(Date.UTC(d.getFullYear(), d.getMonth(), d.getDate()));
    t.setUTCDate(t.getUTCDate() + 3 - ((t.getUTCDay() + 6) % 7));
    const firstThursday = new Date(Date.UTC(t.getUTCFullYear(), 0, 4));
    return 1 + Math.round(((t - firstThursday) / 86400000 - 3 + ((firstThursday.getUTCDay() + 6) % 7)) / 7);
  };
  const WORKDAYS = { 7: [0, 1, 2, 3, 4, 5, 6], 15: [0, 1, 2, 3, 4], 16: [0, 1, 2, 3, 4, 5], 14: [0, 1, 2, 3], 25: [6, 0, 1, 2, 3], 35: [5, 6, 0, 1, 2] };
  const typeOfDay = (d) => {
    const c = db.settings.calendar;
    const r = regions.get(c.syncRegionId);
    const s = iso(d);
    if (r) {
      if (r.holidays.includes(s)) return 'HOLIDAY';
      if (r.extraWorkdays.includes(s)) return 'REPLACED_WORKDAY';
      if (r.provideHolidays && c.syncSchoolHolidays && r.schoolBreaks.includes(s)) return 'SCHOOL_BREAK';
    }
    return (WORKDAYS[c.workdayMode] ?? WORKDAYS[7]).includes(wday(d)) ? 'WORKDAY' : 'NON_WORKDAY';
  };
  const timetableFor = (d) => {
    const c = db.settings.calendar;
    const t = typeOfDay(d);
    const s = iso(d);
    const single = c.singleEvents.find((e) => e.start <= s && s <= e.end);
    if (single) return [t, single.timeTableId];
    const rec = c.reoccurringEvents.find((e) => (e.mode === 1 || (e.mode === 3 && isoWeek(d) % 2 === 1) || (e.mode === 2 && isoWeek(d) % 2 === 0)) && (e.days & (1 << wday(d))));
    if (rec) return [t, rec.timeTableId];
    return [t, t === 'WORKDAY' || t === 'REPLACED_WORKDAY' ? db.settings.defaultTimetableId : 'NULL'];
  };
  const month = (offset) => {
    const now = new Date();
    const first = new Date(now.getFullYear(), now.getMonth() + offset, 1);
    const m = first.getMonth();
    const d = new Date(first);
    d.setDate(d.getDate() - wday(d));
    const days = [];
    for (let i = 0; ; ) {
      const [type, id0] = timetableFor(d);
      const isToday = iso(d) === today();
      const sel = db.settings.dailyPreferences.selectedTimetableId;
      days.push({ id: isToday && sel != null ? sel : id0, day: d.getDate(), typeOfDay: type, isToday, isGivenMonth: d.getMonth() === m });
      i++;
      d.setDate(d.getDate() + 1);
      if (d.getMonth() !== m && i > 7 && i % 7 === 0) break;
    }
    return { year: first.getFullYear(), month: m + 1, defaultTimetableId: db.settings.defaultTimetableId, days };
  };
  const nowTime = () => new Date().toTimeString().slice(0, 8);
  const activeInfo = () => {
    const d = new Date();
    let [type, id] = timetableFor(d);
    if (!db.settings.schedulerEnable) return { id: 'NULL', source: 'DISABLED', date: today(), dayOfWeek: wday(d), typeOfDay: type, programmeToday: null };
    let source = 'NORMAL';
    const sel = db.settings.dailyPreferences.selectedTimetableId;
    if (sel != null) {
      if (sel !== id) source = 'DAILY_OVERRIDE';
      id = sel;
    }
    const next = [...db.programmes.values()].filter((p) => p.date === today() && p.time > nowTime()).sort((a, b) => (a.time < b.time ? -1 : 1))[0];
    return { id, source, date: today(), dayOfWeek: wday(d), typeOfDay: type, programmeToday: next ? `${next.time} - ${db.songs.get(next.songId)?.name}` : null };
  };
  const pathOf = (song) => (song.storageCategory === 0 ? join(ASSETS, song.filename) : `/mock-userdata/${song.filename}`);
  const playId = (id) => {
    if (id === 'NULL') return;
    const song = db.songs.get(id);
    if (!song) throw new Error(`'${id}'`);
    playingUntil = Date.now() + 1000;
    if (playLog) appendFileSync(playLog, `${pathOf(song)}\n`);
  };
  const timetableList = () => [...db.timetables].map(([id, t]) => ({ name: t.name, id }));

  const GET = {
    status: () => ({ time: nowTime(), isPlaying: Date.now() < playingUntil, version: 'mock', saveError: null }),
    info: () => ({ version: 'mock', internetAccess: false, language: 'de' }),
    overview: () => ({ passwordMissing: password === null, timetables: timetableList(), activeTimetableInfo: activeInfo(), time: nowTime(), isRelease: true, alarmActive: alarm, calendar: month(0) }),
    signals: () => table(db.songs, (s) => s.storageCategory <= 1),
    programmeInfo: () => ({ programmes: table(db.programmes).map((p) => ({ ...p, programName: db.songs.get(p.songId).name, lengthSec: db.songs.get(p.songId).lengthSec })), date: today() }),
    settings: () => db.settings,
    calendarInfo: () => {
      const c = db.settings.calendar;
      return { ...c, timetables: timetableList(), regions: table(regions), lastUpdate: regions.size ? today() : '', date: today(), singleEvents: c.singleEvents, reoccurringEvents: c.reoccurringEvents, defaultTimetableId: db.settings.defaultTimetableId };
    },
    calendarDays: (args) => {
      if (!args.has('offset') || !/^[+-]?\d+$/.test(args.get('offset'))) throw new Error("invalid literal for int() with base 10: ''");
      return month(Number(args.get('offset')));
    },
  };
  const need = (args, k) => {
    if (!args.has(k)) throw new Error(`'${k}'`);
    return args.get(k);
  };
  const index = (id, list) => {
    const i = Number(id);
    if (!/^\d+$/.test(id) || i >= list.length) throw new Error('list index out of range');
    return i;
  };
  const TRIGGER = {
    deleteSignal: (id) => { if (!db.songs.delete(id)) throw new Error(`'${id}'`); },
    deleteProgramme: (id) => { const p = db.programmes.get(id); if (!p) throw new Error(`'${id}'`); db.programmes.delete(id); db.songs.delete(p.songId); },
    deleteSingleEvent: (id) => { const l = db.settings.calendar.singleEvents; l.splice(index(id, l), 1); },
    deleteReoccurringEvent: (id) => { const l = db.settings.calendar.reoccurringEvents; l.splice(index(id, l), 1); },
    playSignal: (id) => playId(id),
    deleteTimetable: (id) => { if (!db.timetables.delete(id)) throw new Error(`'${id}'`); },
    announce: () => { throw new Error('Failed to download announcement'); },
    announceProgrammed: () => { throw new Error('Failed to download announcement'); },
    scheduleProgrammedAnnouncement: () => { throw new Error('No such file'); },
    addSingleEvent: (_id, args) => {
      const [t, s, e] = [need(args, 'timetableId'), need(args, 'startDate'), need(args, 'endDate')];
      if (!/^\d{4}-\d\d-\d\d$/.test(s) || !/^\d{4}-\d\d-\d\d$/.test(e)) throw new Error('Invalid date format');
      db.settings.calendar.singleEvents.unshift({ timeTableId: t, start: s, end: e });
    },
    addReoccurringEvent: (_id, args) => {
      const mode = Number(need(args, 'mode'));
      if (![1, 2, 3].includes(mode)) throw new Error(`${mode} is not a valid Mode`);
      db.settings.calendar.reoccurringEvents.unshift({ timeTableId: need(args, 'timetableId'), mode, days: Number(need(args, 'days')) });
    },
    toggleAlarm: () => { alarm = !alarm; if (alarm) playId(db.settings.alarmSignalId); },
  };

  const validTimetable = (t) => t && typeof t.name === 'string' && t.chA && t.chB && Array.isArray(t.customPlays) && [t.chA, t.chB].every((c) => Array.isArray(c.lessons) && c.lessons.every((l) => /^\s*\d\d?:\d\d(:\d\d)?\s*-\s*\d\d?:\d\d(:\d\d)?\s*$/.test(l)));
  const SETTING_TYPES = { defaultTimetableId: 'string', schedulerEnable: 'boolean', 'dailyPreferences.selectedTimetableId': 'string|null', alarmSignalId: 'string', alarmDelaySec: 'number', announcementSignalId: 'string', 'calendar.workdayMode': 'number', 'calendar.syncRegionId': 'string', 'calendar.syncSchoolHolidays': 'boolean' };

  function parseMultipart(body, type) {
    const boundary = /boundary=(?:"([^"]+)"|([^;]+))/.exec(type ?? '');
    const out = { fields: {}, file: null };
    if (!boundary) return out;
    const sep = Buffer.from(`--${boundary[1] ?? boundary[2]}`);
    let pos = body.indexOf(sep);
    while (pos >= 0) {
      const next = body.indexOf(sep, pos + sep.length);
      if (next < 0) break;
      const part = body.subarray(pos + sep.length + 2, next - 2);
      const headEnd = part.indexOf('\r\n\r\n');
      const head = part.subarray(0, headEnd).toString();
      const content = part.subarray(headEnd + 4);
      const name = /name="([^"]*)"/.exec(head)?.[1];
      const filename = /filename="([^"]*)"/.exec(head)?.[1];
      if (filename !== undefined) out.file = { field: name, filename, content };
      else if (name) out.fields[name] = content.toString();
      pos = next;
    }
    return out;
  }

  async function handle(req, res) {
    const url = new URL(req.url, 'http://x');
    const p = decodeURIComponent(url.pathname);
    const chunks = [];
    for await (const c of req) chunks.push(c);
    const body = Buffer.concat(chunks);
    const sid = /sid=([\w-]+)/.exec(req.headers.cookie ?? '')?.[1];
    const session = (sid && sessions.get(sid)) || {};
    const headers = { 'Cache-Control': 'no-store, no-cache, must-revalidate, max-age=0', Pragma: 'no-cache', Expires: '0' };
    const send = (status, text, type = 'text/html; charset=utf-8', extra = {}) => {
      res.writeHead(status, { ...headers, 'Content-Type': type, ...extra });
      res.end(text);
    };
    const json = (v) => send(200, JSON.stringify(v), 'application/json');
    const bad = (t) => send(400, t);
    const redirect = (to, extra = {}) => send(302, '', 'text/html', { Location: to, ...extra });
    const login = () => {
      const id = randomUUID();
      sessions.set(id, { loggedIn: true });
      return { 'Set-Cookie': `sid=${id}; Path=/; HttpOnly; SameSite=Lax` };
    };
    const guarded = () => password !== null && !session.loggedIn;

    if (p === '/whoami') return send(200, 'Veltrano Player Backend');
    if (p === '/auth/login' && req.method === 'POST') {
      const { userPassword } = JSON.parse(body.toString() || '{}');
      return password !== null && userPassword === password ? redirect('/', login()) : bad('Login failed');
    }
    const api = ['/auth/', '/api/', '/db', '/upload', '/get_signal_file/'].some((x) => p.startsWith(x));
    if (api && guarded()) return bad('No auth');
    try {
      if (p === '/auth/logout') {
        if (sid) sessions.delete(sid);
        return redirect('/login', { 'Set-Cookie': 'sid=; Path=/; Max-Age=0' });
      }
      if (p === '/auth/chpasswd' && req.method === 'POST') {
        const pw = JSON.parse(body.toString());
        if (typeof pw !== 'string') return send(500, 'Internal Server Error');
        password = pw;
        return send(200, 'ok', 'text/html', session.loggedIn ? {} : login());
      }
      let m;
      if ((m = /^\/api\/get\/([^/]+)$/.exec(p))) {
        const fn = GET[m[1]];
        if (!fn) return bad(`Unknown target: ${m[1]}`);
        try { return json(fn(url.searchParams)); } catch (e) { return bad(e.message); }
      }
      if ((m = /^\/api\/trigger\/([^/]+)\/([^/]+)$/.exec(p))) {
        const fn = TRIGGER[m[1]];
        if (!fn) return bad(`Unknown target: ${m[1]}`);
        try { fn(m[2], url.searchParams); return send(200, 'ok'); } catch (e) { return bad(e.message); }
      }
      if (p === '/db') return json({ dbVersion: 2, settings: db.settings, songs: obj(db.songs), programmes: obj(db.programmes), timetables: obj(db.timetables) });
      if (p === '/db/timetables') return json(table(db.timetables));
      if (p === '/db/timetables/create' && req.method === 'POST') {
        let t;
        try { t = JSON.parse(body.toString()); } catch { return bad('Invalid timetable'); }
        if (!validTimetable(t)) return bad('Invalid timetable');
        const id = randomUUID();
        db.timetables.set(id, t);
        return json(id);
      }
      if ((m = /^\/db\/timetables\/update\/([^/]+)$/.exec(p)) && req.method === 'POST') {
        if (!db.timetables.has(m[1])) return bad('ID not found');
        let t;
        try { t = JSON.parse(body.toString()); } catch { return bad('Invalid timetable'); }
        if (!validTimetable(t)) return bad('Invalid timetable');
        db.timetables.set(m[1], t);
        return json(true);
      }
      if (p === '/db/settings/update' && req.method === 'POST') {
        const changes = JSON.parse(body.toString());
        for (const [k, v] of Object.entries(changes)) {
          const type = SETTING_TYPES[k];
          if (!type) return bad(`Unknown setting: ${k}`);
          if (!type.split('|').some((t) => (t === 'null' ? v === null : typeof v === t))) return bad(`Wrong type for ${k}`);
        }
        for (const [k, v] of Object.entries(changes)) {
          const parts = k.split('.');
          let o = db.settings;
          for (const part of parts.slice(0, -1)) o = o[part];
          o[parts.at(-1)] = v;
        }
        return json(true);
      }
      if (p === '/upload' && req.method === 'POST') {
        const form = parseMultipart(body, req.headers['content-type']);
        if (!form.file || form.file.field !== 'file') return bad('No file part');
        const ext = extname(form.file.filename).slice(1).toLowerCase();
        if (!['wav', 'mp3', 'mp4'].includes(ext)) return bad(`Bad format: ${ext}`);
        const md5 = createHash('md5').update(form.file.content).digest('hex');
        const id = randomUUID();
        const programName = form.fields.programName;
        if (!programName && [...db.songs.values()].some((s) => s.storageCategory <= 1 && s.md5 === md5)) return bad('File is already uploaded');
        files.set(`${id}.${ext}`, form.file.content);
        db.songs.set(id, { name: programName || form.file.filename.replace(/\.[^.]*$/, ''), md5, filename: `${id}.${ext}`, lengthSec: 1, storageCategory: programName ? 2 : 1, lastModified: new Date().toISOString() });
        if (programName) {
          const pid = randomUUID();
          db.programmes.set(pid, { songId: id, date: form.fields.date, time: form.fields.time, deleteAfterPlay: true });
          return json(pid);
        }
        return json(id);
      }
      if ((m = /^\/get_signal_file\/([^/]+)$/.exec(p))) {
        const song = db.songs.get(m[1]);
        if (!song) return send(500, 'Internal Server Error');
        const data = song.storageCategory === 0 ? readFileSync(join(ASSETS, song.filename)) : files.get(song.filename);
        return send(200, data, 'audio/mpeg');
      }
      // Static files, by the player's rules.
      const rel = p.replace(/^\/+/, '');
      if (rel.includes('.')) {
        const file = normalize(join(DIST, rel));
        if (!file.startsWith(DIST) || !existsSync(file) || !statSync(file).isFile()) return send(404, 'Not Found');
        const types = { '.js': 'text/javascript', '.css': 'text/css', '.html': 'text/html', '.ico': 'image/x-icon', '.svg': 'image/svg+xml' };
        return send(200, readFileSync(file), types[extname(file)] ?? 'application/octet-stream');
      }
      const needsLogin = password !== null && !session.loggedIn;
      if (rel !== 'welcome') {
        if (needsLogin && rel !== 'login') return redirect('/login');
        if (!needsLogin && rel === 'login') return redirect('/');
      }
      return send(200, readFileSync(join(DIST, 'index.html')));
    } catch (e) {
      return send(500, `Internal Server Error: ${e.message}`);
    }
  }

  return createServer((req, res) => void handle(req, res));
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const port = Number(process.argv[2] ?? 2233);
  createMockPlayer({ withRegion: true }).listen(port, '127.0.0.1', () => console.log(`mock player on http://127.0.0.1:${port}/`));
}
