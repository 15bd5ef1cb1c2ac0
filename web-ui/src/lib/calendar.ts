// Names and colours of the calendar's enumerations, and the weekday bit set of recurring events.
import type { NamedId, TypeOfDay } from './types';
import { NULL_ID } from './types';

export const WEEKDAYS = ['Monday', 'Tuesday', 'Wednesday', 'Thursday', 'Friday', 'Saturday', 'Sunday'];
export const WEEKDAYS_SHORT = ['Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat', 'Sun'];
export const MONTHS = [
  'January', 'February', 'March', 'April', 'May', 'June',
  'July', 'August', 'September', 'October', 'November', 'December',
];

/** Working weeks the player knows, by their stored value. */
export const WORKDAY_MODES: { value: number; label: string }[] = [
  { value: 15, label: 'Monday to Friday' },
  { value: 16, label: 'Monday to Saturday' },
  { value: 14, label: 'Monday to Thursday' },
  { value: 25, label: 'Sunday to Thursday' },
  { value: 35, label: 'Saturday to Wednesday' },
  { value: 7, label: 'Every day' },
];

export const RECURRENCE_MODES: { value: number; label: string }[] = [
  { value: 1, label: 'Every week' },
  { value: 3, label: 'Odd weeks' },
  { value: 2, label: 'Even weeks' },
];

export const TYPE_OF_DAY: Record<TypeOfDay, { label: string; className: string }> = {
  WORKDAY: { label: 'School day', className: 'day-workday' },
  REPLACED_WORKDAY: { label: 'Extra school day', className: 'day-extra' },
  NON_WORKDAY: { label: 'Weekend / day off', className: 'day-off' },
  HOLIDAY: { label: 'Public holiday', className: 'day-holiday' },
  SCHOOL_BREAK: { label: 'School break', className: 'day-break' },
};

export function typeOfDayLabel(t: string): string {
  return TYPE_OF_DAY[t as TypeOfDay]?.label ?? t;
}

/** The weekday numbers (0 = Monday) whose bits are set. */
export function daysFromBits(bits: number): number[] {
  return WEEKDAYS.map((_, i) => i).filter((i) => (bits & (1 << i)) !== 0);
}

export function bitsFromDays(days: number[]): number {
  return days.reduce((bits, d) => bits | (1 << d), 0);
}

export function describeDays(bits: number): string {
  const days = daysFromBits(bits);
  return days.length ? days.map((d) => WEEKDAYS_SHORT[d]).join(', ') : 'no day';
}

export function recurrenceLabel(mode: number): string {
  return RECURRENCE_MODES.find((m) => m.value === mode)?.label ?? `mode ${mode}`;
}

export function workdayModeLabel(mode: number): string {
  return WORKDAY_MODES.find((m) => m.value === mode)?.label ?? `mode ${mode}`;
}

/** Distinct, readable colours for timetables in the month view (dark text stays readable on each). */
const PALETTE = ['#1f6feb', '#b35900', '#1a7f37', '#8250df', '#bf3989', '#0a7d8c', '#6e5600', '#cf222e'];

export function timetableColour(id: string, timetables: NamedId[]): string | undefined {
  if (id === NULL_ID) return undefined;
  const index = timetables.findIndex((t) => t.id === id);
  return PALETTE[(index < 0 ? PALETTE.length - 1 : index) % PALETTE.length];
}

export function timetableName(id: string | null | undefined, timetables: NamedId[]): string {
  if (id === undefined || id === null) return '';
  if (id === NULL_ID) return 'No bells';
  return timetables.find((t) => t.id === id)?.name ?? `Unknown timetable (${id})`;
}
