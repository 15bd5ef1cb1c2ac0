// One day of the month view explained: its date, and why it has the timetable it has, by the
// player's own order of rules (today's hand choice, single events, weekly events, the type of day).
import { describeDays, recurrenceInText, timetableName, TYPE_OF_DAY, typeOfDayLabel } from './calendar';
import { t } from '../i18n';
import { dayRange } from '../i18n/format';
import { dateText, formatDate, parseDate } from './time';
import type { CalendarInfo, DayInfo, MonthView, NamedId, RecurringEvent, SingleEvent } from './types';
import { NULL_ID } from './types';

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

/** The rule that gives a day its timetable, in the player's order. */
export type DayCause =
  | { kind: 'byHand' }
  | { kind: 'single'; event: SingleEvent }
  | { kind: 'weekly'; event: RecurringEvent }
  | { kind: 'typeOfDay' };

type Rules = Pick<CalendarInfo, 'singleEvents' | 'reoccurringEvents'>;

export function dayCause(date: string, day: Pick<DayInfo, 'isToday'>, info: Rules, selectedToday: string | null | undefined): DayCause {
  if (day.isToday && selectedToday != null) return { kind: 'byHand' };
  const single = info.singleEvents.find((e) => dateText(e.start) <= date && date <= dateText(e.end));
  if (single) return { kind: 'single', event: single };
  const weekday = weekdayOf(date);
  const week = isoWeek(date);
  const weekly = info.reoccurringEvents.find(
    (e) => (e.days & (1 << weekday)) !== 0 && (e.mode === 1 || (e.mode === 3 && week % 2 === 1) || (e.mode === 2 && week % 2 === 0)),
  );
  return weekly ? { kind: 'weekly', event: weekly } : { kind: 'typeOfDay' };
}

/** Why the day has its timetable, in words. */
export function whyThisTimetable(date: string, day: DayInfo, info: Rules, selectedToday: string | null | undefined): string {
  const cause = dayCause(date, day, info, selectedToday);
  switch (cause.kind) {
    case 'byHand':
      return t('why.byHand');
    case 'single': {
      const days = dayRange(dateText(cause.event.start), dateText(cause.event.end));
      return cause.event.name ? t('why.singleNamed', { name: cause.event.name, days }) : t('why.single', { days });
    }
    case 'weekly':
      return t('why.weekly', { days: describeDays(cause.event.days), weeks: recurrenceInText(cause.event.mode) });
  }
  if (day.typeOfDay === 'WORKDAY') return t('why.workday');
  if (day.typeOfDay === 'REPLACED_WORKDAY') return t('why.extraWorkday');
  return t('why.noBells', { type: typeOfDayLabel(day.typeOfDay) });
}

/**
 * What a day is, as the month, the week and Home show it: a day whose bells a calendar event
 * switches off is that event ("Winter break — no bells") in the colour of days off, not the
 * school day it would otherwise be.
 */
export function dayLook(date: string, day: DayInfo, info: Rules, selectedToday: string | null | undefined): { label: string; className: string; eventName?: string } {
  const cause = dayCause(date, day, info, selectedToday);
  const eventName = cause.kind === 'single' && cause.event.name ? cause.event.name : undefined;
  if ((cause.kind === 'single' || cause.kind === 'weekly') && day.id === NULL_ID) {
    return { label: eventName ? t('calendar.namedDayOff', { name: eventName }) : t('calendar.dayOffByEvent'), className: 'day-event-off', eventName };
  }
  return { label: typeOfDayLabel(day.typeOfDay), className: TYPE_OF_DAY[day.typeOfDay]?.className ?? '', eventName };
}

/** The day in one line: "School day: Default", "Winter break — no bells", "Weekend / day off — no bells". */
export function dayHeadline(look: ReturnType<typeof dayLook>, day: DayInfo, timetables: NamedId[]): string {
  if (day.id === NULL_ID) return look.className === 'day-event-off' ? look.label : t('calendar.namedDayOff', { name: look.label });
  return t('calendar.dayWithTimetable', { type: look.label, timetable: timetableName(day.id, timetables) });
}
