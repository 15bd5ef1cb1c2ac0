// One day of the month view explained: its date, and why it has the timetable it has, by the
// player's own order of rules (today's hand choice, single events, weekly events, the type of day).
import { describeDays, recurrenceInText, typeOfDayLabel } from './calendar';
import { t } from '../i18n';
import { dayRange } from '../i18n/format';
import { dateText, formatDate, parseDate } from './time';
import type { CalendarInfo, DayInfo, MonthView } from './types';

const DAY_MS = 24 * 3600 * 1000;

/** The day text of the cell at this index: the view starts on the Monday of the month's first week. */
export function dateOfCell(view: Pick<MonthView, 'year' | 'month'>, index: number): string {
  const first = Date.UTC(view.year, view.month - 1, 1);
  const weekday = (new Date(first).getUTCDay() + 6) % 7;
  const d = new Date(first + (index - weekday) * DAY_MS);
  return formatDate({ y: d.getUTCFullYear(), m: d.getUTCMonth() + 1, d: d.getUTCDate() });
}

/** ISO 8601 week number of a day text. */
export function isoWeek(date: string): number {
  const p = parseDate(date);
  if (!p.ok) return 0;
  const t = new Date(Date.UTC(p.value.y, p.value.m - 1, p.value.d));
  const weekday = (t.getUTCDay() + 6) % 7;
  t.setUTCDate(t.getUTCDate() - weekday + 3); // the Thursday of this week decides its year
  const firstThursday = new Date(Date.UTC(t.getUTCFullYear(), 0, 4));
  firstThursday.setUTCDate(firstThursday.getUTCDate() - ((firstThursday.getUTCDay() + 6) % 7) + 3);
  return 1 + Math.round((t.getTime() - firstThursday.getTime()) / (7 * DAY_MS));
}

function weekdayOf(date: string): number {
  const p = parseDate(date);
  if (!p.ok) return -1;
  return (new Date(Date.UTC(p.value.y, p.value.m - 1, p.value.d)).getUTCDay() + 6) % 7;
}

/** Why the day has its timetable, in words. */
export function whyThisTimetable(date: string, day: DayInfo, info: CalendarInfo, selectedToday: string | null | undefined): string {
  if (day.isToday && selectedToday != null) return t('why.byHand');
  const single = info.singleEvents.find((e) => dateText(e.start) <= date && date <= dateText(e.end));
  if (single) {
    return t('why.single', { days: dayRange(dateText(single.start), dateText(single.end)) });
  }
  const weekday = weekdayOf(date);
  const week = isoWeek(date);
  const weekly = info.reoccurringEvents.find(
    (e) => (e.days & (1 << weekday)) !== 0 && (e.mode === 1 || (e.mode === 3 && week % 2 === 1) || (e.mode === 2 && week % 2 === 0)),
  );
  if (weekly) return t('why.weekly', { days: describeDays(weekly.days), weeks: recurrenceInText(weekly.mode) });
  if (day.typeOfDay === 'WORKDAY') return t('why.workday');
  if (day.typeOfDay === 'REPLACED_WORKDAY') return t('why.extraWorkday');
  return t('why.noBells', { type: typeOfDayLabel(day.typeOfDay) });
}
