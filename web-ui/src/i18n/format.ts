// Dates, weekdays, months, times and numbers in the dashboard's language, through Intl.
// Weeks start on Monday (weekday 0); times are on the 24-hour clock.
import { intlLocale, t } from './index';

const DAY_MS = 24 * 3600 * 1000;
// 2024-01-01 was a Monday.
const MONDAY = Date.UTC(2024, 0, 1);

const cache = new Map<string, Intl.DateTimeFormat>();
function dateFormat(options: Intl.DateTimeFormatOptions): Intl.DateTimeFormat {
  const locale = intlLocale();
  const id = `${locale}|${JSON.stringify(options)}`;
  let f = cache.get(id);
  if (!f) {
    f = new Intl.DateTimeFormat(locale, { timeZone: 'UTC', ...options });
    cache.set(id, f);
  }
  return f;
}

/** The player's day text "2026-03-09" as a UTC instant; undefined when it is not a day. */
function utcDay(date: string): Date | undefined {
  const m = /^(\d{4})-(\d{2})-(\d{2})/.exec(date);
  if (!m) return undefined;
  const d = new Date(Date.UTC(Number(m[1]), Number(m[2]) - 1, Number(m[3])));
  return Number.isNaN(d.getTime()) ? undefined : d;
}

/** The weekday's name, 0 = Monday. */
export function weekdayName(index: number, width: 'long' | 'short' = 'long'): string {
  return dateFormat({ weekday: width }).format(new Date(MONDAY + index * DAY_MS));
}

/** The names of the week's days, Monday first. */
export const weekdayNames = (width: 'long' | 'short' = 'long') => [0, 1, 2, 3, 4, 5, 6].map((i) => weekdayName(i, width));

/** The month's name, 1 = January, as it stands alone. */
export function monthName(month: number): string {
  return dateFormat({ month: 'long' }).format(new Date(Date.UTC(2024, month - 1, 15)));
}

/** "March 2026", "2026. március", "März 2026". */
export function monthTitle(year: number, month: number): string {
  return dateFormat({ year: 'numeric', month: 'long' }).format(new Date(Date.UTC(year, month - 1, 15)));
}

/** "Tuesday, 8 December 2026"; the text itself when it is no day. */
export function longDate(date: string): string {
  const d = utcDay(date);
  return d ? dateFormat({ weekday: 'long', day: 'numeric', month: 'long', year: 'numeric' }).format(d) : date;
}

/** "8 Dec 2026". */
export function dayText(date: string): string {
  const d = utcDay(date);
  return d ? dateFormat({ day: 'numeric', month: 'short', year: 'numeric' }).format(d) : date;
}

/** "Tue 8 Dec": a day of a month shown nearby. */
export function weekdayAndDay(date: string): string {
  const d = utcDay(date);
  return d ? dateFormat({ weekday: 'long', day: 'numeric', month: 'long' }).format(d) : date;
}

/** "8–12 Dec 2026"; one day alone when both are the same. */
export function dayRange(first: string, last: string): string {
  const a = utcDay(first);
  const b = utcDay(last);
  if (!a || !b) return first === last ? first : `${first} – ${last}`;
  const f = dateFormat({ day: 'numeric', month: 'short', year: 'numeric' });
  return first === last || b < a ? f.format(a) : f.formatRange(a, b);
}

/**
 * "08:05", or "08:05:30" when the seconds are not zero (the player's own form); with
 * alwaysSeconds "08:05:00" too, for a running clock or a log.
 */
export function clockText(secondsOfDay: number, alwaysSeconds = false): string {
  const s = ((Math.round(secondsOfDay) % 86400) + 86400) % 86400;
  const withSeconds = alwaysSeconds || s % 60 !== 0;
  return dateFormat({ hour: '2-digit', minute: '2-digit', second: withSeconds ? '2-digit' : undefined, hourCycle: 'h23' }).format(
    new Date(Date.UTC(2024, 0, 1) + s * 1000),
  );
}

/** A stored time text ("8:05", "08:05:30") in the language's form; the text itself when it is none. */
export function timeText(text: string, alwaysSeconds = false): string {
  const m = /^\s*(\d{1,2}):(\d{2})(?::(\d{2}))?/.exec(text);
  return m ? clockText(Number(m[1]) * 3600 + Number(m[2]) * 60 + Number(m[3] ?? 0), alwaysSeconds) : text;
}

/** A player's "YYYY-MM-DD HH:MM:SS" (or with "T") as day and time: "8 Dec 2026, 14:05". */
export function dateTimeText(text: string): string {
  const m = /^(\d{4}-\d{2}-\d{2})[T ](\d{2}:\d{2}(?::\d{2})?)/.exec(text);
  if (!m) return text;
  return `${dayText(m[1])}, ${timeText(m[2])}`;
}

export function numberText(n: number, maximumFractionDigits = 1): string {
  return new Intl.NumberFormat(intlLocale(), { maximumFractionDigits }).format(n);
}

/** "1.5 MB" / "1,5 MB". */
export function sizeText(bytes: number): string {
  return bytes >= 1024 * 1024
    ? t('unit.megabytes', { n: Math.round(bytes / (1024 * 1024)) })
    : t('unit.kilobytes', { n: Math.ceil(bytes / 1024) });
}

/** "Monday, Wednesday and Friday" / "hétfő, szerda és péntek". */
export function listText(items: string[]): string {
  return new Intl.ListFormat(intlLocale(), { style: 'long', type: 'conjunction' }).format(items);
}

/** "50%" / "50 %". */
export function percentText(fraction: number): string {
  return new Intl.NumberFormat(intlLocale(), { style: 'percent', maximumFractionDigits: 0 }).format(fraction);
}
