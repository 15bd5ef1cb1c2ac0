// Days counted across months: the week view and Home's "tomorrow" take the days they need from
// the player's month views, which hold whole weeks, Monday first.
import { dateOfCell } from './dayView';
import { formatDate, parseDate } from './time';
import type { DayInfo, MonthView } from './types';
import { t } from '../i18n';

const DAY_MS = 24 * 3600 * 1000;

function utcOf(date: string): number {
  const p = parseDate(date);
  if (!p.ok) throw new Error(p.error);
  return Date.UTC(p.value.y, p.value.m - 1, p.value.d);
}

function dayOfUtc(ms: number): string {
  const d = new Date(ms);
  return formatDate({ y: d.getUTCFullYear(), m: d.getUTCMonth() + 1, d: d.getUTCDate() });
}

export const addDays = (date: string, n: number): string => dayOfUtc(utcOf(date) + n * DAY_MS);

/** The Monday of the day's week. */
export const mondayOf = (date: string): string => addDays(date, -((new Date(utcOf(date)).getUTCDay() + 6) % 7));

/** Months from the first day's month to the second's: the month view's offset. */
export function monthsBetween(from: string, to: string): number {
  const [fy, fm] = from.split('-').map(Number);
  const [ty, tm] = to.split('-').map(Number);
  return (ty - fy) * 12 + (tm - fm);
}

export interface DatedDay extends DayInfo {
  date: string;
}

/** `count` days from `first`, as the player's month views (asked once per month) give them. */
export async function daysFrom(today: string, first: string, count: number, monthView: (offset: number) => Promise<MonthView>): Promise<DatedDay[]> {
  const dates = Array.from({ length: count }, (_, i) => addDays(first, i));
  const views = new Map<number, Promise<MonthView>>();
  for (const date of dates) {
    const offset = monthsBetween(today, date);
    if (!views.has(offset)) views.set(offset, monthView(offset));
  }
  const days: DatedDay[] = [];
  for (const date of dates) {
    const view = await views.get(monthsBetween(today, date))!;
    const day = view.days[Math.round((utcOf(date) - utcOf(dateOfCell(view, 0))) / DAY_MS)];
    if (!day) throw new Error(t('weekView.dayMissing', { date }));
    days.push({ ...day, date });
  }
  return days;
}
