// Parsing and printing of the player's time and date texts, with messages a user can act on.
import { t } from '../i18n';

export interface Time {
  h: number;
  m: number;
  s: number;
}

export type Parsed<T> = { ok: true; value: T } | { ok: false; error: string };

const TIME_FORM = /^\s*(\d{1,2})[:.](\d{1,2})(?:[:.](\d{1,2}))?\s*$/;
// Digits alone ("0830", "083015"): a phone's numeric keyboard has no ":".
const COMPACT_TIME_FORM = /^\s*(\d{1,2})(\d{2})(\d{2})?\s*$/;
const DATE_FORM = /^\s*(\d{4})-(\d{1,2})-(\d{1,2})\s*$/;

const pad2 = (n: number) => String(n).padStart(2, '0');

/** Reads "8:05", "8.05", "08:05", "08:05:30" or "0805"; seconds are optional. */
export function parseTime(text: string): Parsed<Time> {
  const match = TIME_FORM.exec(text) ?? COMPACT_TIME_FORM.exec(text);
  if (!match) {
    return { ok: false, error: t('time.notTime', { text: text.trim() }) };
  }
  const [h, m, s] = [match[1], match[2], match[3] ?? '0'].map(Number);
  if (h > 23) return { ok: false, error: t('time.hour', { text: text.trim() }) };
  if (m > 59) return { ok: false, error: t('time.minutes', { text: text.trim() }) };
  if (s > 59) return { ok: false, error: t('time.seconds', { text: text.trim() }) };
  return { ok: true, value: { h, m, s } };
}

/** The player's text form: seconds are shown only when they are not zero. */
export function formatTime(t: Time): string {
  const base = `${pad2(t.h)}:${pad2(t.m)}`;
  return t.s > 0 ? `${base}:${pad2(t.s)}` : base;
}

export const secondsOfDay = (t: Time) => t.h * 3600 + t.m * 60 + t.s;

/** A time text in the player's form, or the reason it is not a time. */
export function normalizeTime(text: string): Parsed<string> {
  const parsed = parseTime(text);
  return parsed.ok ? { ok: true, value: formatTime(parsed.value) } : parsed;
}

export interface LessonTimes {
  start: string;
  end: string;
}

/** Splits the stored lesson text "08:00 - 08:45" into its two times. */
export function splitLesson(text: string): LessonTimes {
  const [start = '', end = ''] = text.split('-');
  return { start: start.trim(), end: end.trim() };
}

/** Checks one lesson and gives its stored text; a lesson must end after it starts. */
export function lessonText(start: string, end: string): Parsed<string> {
  const s = parseTime(start);
  if (!s.ok) return { ok: false, error: t('field.start', { error: s.error }) };
  const e = parseTime(end);
  if (!e.ok) return { ok: false, error: t('field.end', { error: e.error }) };
  if (secondsOfDay(e.value) <= secondsOfDay(s.value)) {
    return { ok: false, error: t('time.endsBeforeStart', { start: formatTime(s.value), end: formatTime(e.value) }) };
  }
  return { ok: true, value: `${formatTime(s.value)} - ${formatTime(e.value)}` };
}

/** Orders lessons by their start; lessons whose start does not parse go last, in their order. */
export function sortLessons<T extends LessonTimes>(lessons: T[]): T[] {
  const key = (l: T) => {
    const p = parseTime(l.start);
    return p.ok ? secondsOfDay(p.value) : Number.POSITIVE_INFINITY;
  };
  return lessons
    .map((lesson, index) => ({ lesson, index, k: key(lesson) }))
    .sort((a, b) => a.k - b.k || a.index - b.index)
    .map((x) => x.lesson);
}

export interface DateParts {
  y: number;
  m: number;
  d: number;
}

export function isLeapYear(y: number): boolean {
  return (y % 4 === 0 && y % 100 !== 0) || y % 400 === 0;
}

export function daysInMonth(y: number, m: number): number {
  return [31, isLeapYear(y) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31][m - 1];
}

/** Reads a day text "2026-03-09" and checks that the day exists. */
export function parseDate(text: string): Parsed<DateParts> {
  const match = DATE_FORM.exec(text);
  if (!match) return { ok: false, error: t('date.notDate', { text: text.trim() }) };
  const [y, m, d] = [match[1], match[2], match[3]].map(Number);
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m)) {
    return { ok: false, error: t('date.notDay', { text: text.trim() }) };
  }
  return { ok: true, value: { y, m, d } };
}

export function formatDate(p: DateParts): string {
  return `${String(p.y).padStart(4, '0')}-${pad2(p.m)}-${pad2(p.d)}`;
}

/** Dates may come as "2026-03-09" or as {y, m, d}; both print the same. */
export function dateText(value: unknown): string {
  if (typeof value === 'string') return value;
  if (value && typeof value === 'object' && 'y' in value && 'm' in value && 'd' in value) {
    return formatDate(value as DateParts);
  }
  return String(value ?? '');
}

/** Compares two valid day texts as calendar days. */
export function compareDates(a: DateParts, b: DateParts): number {
  return a.y - b.y || a.m - b.m || a.d - b.d;
}

/** Checks a day typed in a form field called "Date"; gives it in the player's form. */
export function checkDay(text: string): Parsed<string> {
  const d = parseDate(text);
  return d.ok ? { ok: true, value: formatDate(d.value) } : { ok: false, error: t('field.date', { error: d.error }) };
}

/** Checks a period of days: both ends valid, the first not after the last. */
export function checkPeriod(start: string, end: string): Parsed<{ start: string; end: string }> {
  const s = parseDate(start);
  if (!s.ok) return { ok: false, error: t('field.firstDay', { error: s.error }) };
  const e = parseDate(end);
  if (!e.ok) return { ok: false, error: t('field.lastDay', { error: e.error }) };
  if (compareDates(s.value, e.value) > 0) {
    return { ok: false, error: t('date.lastBeforeFirst') };
  }
  return { ok: true, value: { start: formatDate(s.value), end: formatDate(e.value) } };
}

/**
 * Whether a play at this day and time is already past on the player's clock; such a programme
 * would never ring. Seconds count: a play at the current second is past too.
 */
export function isPast(date: string, time: string, today: string, now: string): boolean {
  const d = parseDate(date);
  const td = parseDate(today);
  const t = parseTime(time);
  const n = parseTime(now);
  if (!d.ok || !td.ok || !t.ok || !n.ok) return false;
  const byDay = compareDates(d.value, td.value);
  return byDay < 0 || (byDay === 0 && secondsOfDay(t.value) <= secondsOfDay(n.value));
}
