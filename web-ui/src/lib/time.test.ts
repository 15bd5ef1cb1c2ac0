import { describe, expect, it } from 'vitest';
import { checkPeriod, dateText, isPast, lessonText, normalizeTime, parseDate, sortLessons } from './time';

describe('time texts', () => {
  it('normalises what the player accepts and refuses the rest', () => {
    const cases: [string, string | null][] = [
      ['8:5', '08:05'],
      ['08:05', '08:05'],
      [' 07:45 ', '07:45'],
      ['08:05:30', '08:05:30'],
      ['7:45:00', '07:45'],
      ['23:59:59', '23:59:59'],
      ['00:00', '00:00'],
      ['24:00', null],
      ['12:60', null],
      ['12:00:60', null],
      ['-1:00', null],
      ['8', null],
      ['8.30', '08:30'],
      ['8.30.15', '08:30:15'],
      ['8.3a', null],
      ['', null],
      ['08:00:00:00', null],
      ['123:00', null],
      ['0830', '08:30'],
      ['745', '07:45'],
      ['083015', '08:30:15'],
      ['2460', null],
    ];
    for (const [input, expected] of cases) {
      const r = normalizeTime(input);
      expect(r.ok ? r.value : null, input).toBe(expected);
    }
  });

  it('builds lesson texts and refuses lessons that end before they start', () => {
    const cases: [string, string, string | null][] = [
      ['8:00', '8:45', '08:00 - 08:45'],
      ['08:00:30', '08:45', '08:00:30 - 08:45'],
      ['08:45', '08:00', null],
      ['08:00', '08:00', null],
      ['08:00', 'x', null],
    ];
    for (const [start, end, expected] of cases) {
      const r = lessonText(start, end);
      expect(r.ok ? r.value : null, `${start}-${end}`).toBe(expected);
      if (!r.ok) expect(r.error.length).toBeGreaterThan(10);
    }
  });

  it('sorts lessons by start and keeps unreadable ones last in their order', () => {
    const sorted = sortLessons([
      { start: '10:00', end: '10:45' },
      { start: 'bad', end: '1' },
      { start: '8:00', end: '8:45' },
      { start: 'worse', end: '2' },
      { start: '09:00:30', end: '09:45' },
    ]);
    expect(sorted.map((l) => l.start)).toEqual(['8:00', '09:00:30', '10:00', 'bad', 'worse']);
  });
});

describe('dates', () => {
  it('accepts real calendar days only', () => {
    const cases: [string, boolean][] = [
      ['2026-03-09', true],
      ['2026-3-9', true],
      ['2024-02-29', true],
      ['2023-02-29', false],
      ['2026-02-30', false],
      ['2026-13-01', false],
      ['2026/03/09', false],
      ['2024-02', false],
      ['0000-01-01', false],
      ['', false],
    ];
    for (const [input, ok] of cases) expect(parseDate(input).ok, input).toBe(ok);
  });

  it('checks periods and pads their days', () => {
    expect(checkPeriod('2026-3-9', '2026-03-13')).toEqual({ ok: true, value: { start: '2026-03-09', end: '2026-03-13' } });
    expect(checkPeriod('2026-03-09', '2026-03-09').ok).toBe(true);
    expect(checkPeriod('2026-12-20', '2027-01-06').ok).toBe(true);
    expect(checkPeriod('2026-03-10', '2026-03-09')).toEqual({ ok: false, error: 'The last day is before the first day.' });
    expect(checkPeriod('2026-02-30', '2026-03-09').ok).toBe(false);
  });

  it('prints dates sent as text or as fields alike', () => {
    expect(dateText('2026-03-09')).toBe('2026-03-09');
    expect(dateText({ y: 999, m: 1, d: 5 })).toBe('0999-01-05');
  });
});

describe('past plays', () => {
  it('counts a play as past from its very second on, by the player\'s clock', () => {
    const cases: [string, string, boolean][] = [
      ['2026-03-09', '10:00:00', true],
      ['2026-03-09', '10:00:01', false],
      ['2026-03-09', '09:59', true],
      ['2026-03-08', '23:59', true],
      ['2026-03-10', '00:00', false],
      ['2027-01-01', '08:00', false],
      ['bad', '08:00', false],
    ];
    for (const [date, time, past] of cases) expect(isPast(date, time, '2026-03-09', '10:00:00'), `${date} ${time}`).toBe(past);
  });
});
