// Names and colours of the calendar's enumerations, and the weekday bit set of recurring events.
import { t, type MessageKey } from '../i18n';
import { weekdayName } from '../i18n/format';
import type { NamedId, TypeOfDay } from './types';
import { NULL_ID } from './types';

/** The week's days, 0 = Monday. */
export const WEEKDAY_INDEXES = [0, 1, 2, 3, 4, 5, 6];

/** Working weeks the player knows, by their stored value. */
export const WORKDAY_MODES: { value: number; label: MessageKey }[] = [
  { value: 15, label: 'week.mondayToFriday' },
  { value: 16, label: 'week.mondayToSaturday' },
  { value: 14, label: 'week.mondayToThursday' },
  { value: 25, label: 'week.sundayToThursday' },
  { value: 35, label: 'week.saturdayToWednesday' },
  { value: 7, label: 'week.everyDay' },
];

/** How often a weekly event comes: its label, and the words for it inside a sentence. */
export const RECURRENCE_MODES: { value: number; label: MessageKey; inText: MessageKey }[] = [
  { value: 1, label: 'recurrence.every', inText: 'recurrence.inText.every' },
  { value: 3, label: 'recurrence.odd', inText: 'recurrence.inText.odd' },
  { value: 2, label: 'recurrence.even', inText: 'recurrence.inText.even' },
];

export const TYPE_OF_DAY: Record<TypeOfDay, { label: MessageKey; className: string }> = {
  WORKDAY: { label: 'dayType.WORKDAY', className: 'day-workday' },
  REPLACED_WORKDAY: { label: 'dayType.REPLACED_WORKDAY', className: 'day-extra' },
  NON_WORKDAY: { label: 'dayType.NON_WORKDAY', className: 'day-off' },
  HOLIDAY: { label: 'dayType.HOLIDAY', className: 'day-holiday' },
  SCHOOL_BREAK: { label: 'dayType.SCHOOL_BREAK', className: 'day-break' },
};

export function typeOfDayLabel(type: string): string {
  const known = TYPE_OF_DAY[type as TypeOfDay];
  return known ? t(known.label) : type;
}

/** The weekday numbers (0 = Monday) whose bits are set. */
export function daysFromBits(bits: number): number[] {
  return WEEKDAY_INDEXES.filter((i) => (bits & (1 << i)) !== 0);
}

export function bitsFromDays(days: number[]): number {
  return days.reduce((bits, d) => bits | (1 << d), 0);
}

/** "Mon, Wed" in the dashboard's language. */
export function describeDays(bits: number): string {
  const days = daysFromBits(bits);
  return days.length ? days.map((d) => weekdayName(d, 'short')).join(', ') : t('calendar.noDay');
}

export function recurrenceLabel(mode: number): string {
  const known = RECURRENCE_MODES.find((m) => m.value === mode);
  return known ? t(known.label) : t('calendar.mode', { n: mode });
}

/** The recurrence as words inside a sentence ("odd weeks"). */
export function recurrenceInText(mode: number): string {
  const known = RECURRENCE_MODES.find((m) => m.value === mode);
  return known ? t(known.inText) : t('calendar.mode', { n: mode });
}

export function workdayModeLabel(mode: number): string {
  const known = WORKDAY_MODES.find((m) => m.value === mode);
  return known ? t(known.label) : t('calendar.mode', { n: mode });
}

/** Distinct, readable colours for timetables in the month view (dark text stays readable on each). */
const PALETTE = ['#1f6feb', '#b35900', '#1a7f37', '#8250df', '#bf3989', '#0a7d8c', '#6e5600', '#cf222e'];

export function timetableColour(id: string, timetables: NamedId[]): string | undefined {
  if (id === NULL_ID) return undefined;
  const index = timetables.findIndex((tt) => tt.id === id);
  return PALETTE[(index < 0 ? PALETTE.length - 1 : index) % PALETTE.length];
}

export function timetableName(id: string | null | undefined, timetables: NamedId[]): string {
  if (id === undefined || id === null) return '';
  if (id === NULL_ID) return t('calendar.noBells');
  return timetables.find((tt) => tt.id === id)?.name ?? t('calendar.unknownTimetable', { id });
}
