import { describe, expect, it } from 'vitest';
import { dateOfCell, dayLook } from './dayView';
import { bellPlan } from './plan';
import { defaultTimetable } from './timetable';
import { daysFrom, mondayOf } from './week';
import type { DayInfo, MonthView, SingleEvent } from './types';

/** A month view as the player gives it, each day's timetable id being its date. */
function monthView(year: number, month: number): MonthView {
  const days = Array.from({ length: 42 }, (_, i) => dateOfCell({ year, month }, i)).map((date) => ({
    id: date,
    day: Number(date.slice(8)),
    typeOfDay: 'WORKDAY' as const,
    isToday: false,
    isGivenMonth: Number(date.slice(5, 7)) === month,
  }));
  return { year, month, defaultTimetableId: 'x', days };
}

describe('the week', () => {
  it('takes its days from the month views it needs, across a year end, asking each once', async () => {
    const asked: number[] = [];
    const days = await daysFrom('2026-12-09', mondayOf('2027-01-01'), 7, async (offset) => {
      asked.push(offset);
      return offset === 0 ? monthView(2026, 12) : monthView(2027, 1);
    });
    expect(days.map((d) => d.date)).toEqual(['2026-12-28', '2026-12-29', '2026-12-30', '2026-12-31', '2027-01-01', '2027-01-02', '2027-01-03']);
    expect(days.every((d) => d.id === d.date)).toBe(true);
    expect(asked).toEqual([0, 1]);
  });

  it('names a day off by the event that makes it, and nothing else', () => {
    const winter: SingleEvent = { timeTableId: 'NULL', start: '2026-12-21', end: '2027-01-01', name: 'Winter break' };
    const exams: SingleEvent = { timeTableId: 'exams', start: '2026-12-14', end: '2026-12-14', name: 'Exams' };
    const info = { singleEvents: [winter, exams], reoccurringEvents: [{ timeTableId: 'NULL', mode: 1, days: 1 << 2 }] };
    const day = (id: string, typeOfDay: DayInfo['typeOfDay'] = 'WORKDAY', isToday = false): DayInfo => ({ id, day: 1, typeOfDay, isToday, isGivenMonth: true });
    expect(dayLook('2026-12-22', day('NULL'), info, null)).toEqual({ label: 'Winter break — no bells', className: 'day-event-off', eventName: 'Winter break' });
    expect(dayLook('2026-12-14', day('exams'), info, null)).toEqual({ label: 'School day', className: 'day-workday', eventName: 'Exams' });
    expect(dayLook('2026-12-16', day('NULL'), info, null).label).toBe('Day off — no bells');
    expect(dayLook('2026-12-19', day('NULL', 'NON_WORKDAY'), info, null).className).toBe('day-off');
    expect(dayLook('2026-12-22', day('NULL', 'WORKDAY', true), info, 'NULL').className).toBe('day-workday');
  });

  it('plans lessons by their start with the breaks between, and the warnings apart', () => {
    const tt = defaultTimetable('T');
    tt.chA.lessons = ['09:00 - 09:45', '08:00 - 08:45', '09:45 - 10:30'];
    tt.chA.startOfClass.id = 'ID_melody';
    tt.chA.preStart.id = 'ID_ping';
    tt.customPlays = [{ desc: { id: 'ID_ring', doRepeat: false, iterations: 2, delaySec: 1 }, slots: ['12:00'] }];
    const plan = bellPlan(tt);
    expect(plan.rows.map((r) => (r.kind === 'lesson' ? `${r.n}` : `break ${(r.end - r.start) / 60}`))).toEqual(['2', 'break 15', '1', '3']);
    expect(plan.warnings.map((b) => b.seconds / 60)).toEqual([7 * 60 + 55, 8 * 60 + 55, 9 * 60 + 40]);
    expect(plan.others.map((b) => b.signalId)).toEqual(['ID_ring']);
    expect(plan.silent).toEqual(['endOfClass', 'preEnd']);
  });
});
