import { describe, expect, it } from 'vitest';
import { defaultTimetable, fromForm, toForm } from './timetable';
import type { TimeTable } from './types';

const SIGNALS = new Set(['ID_ping', 'ID_melody']);

function factory(): TimeTable {
  const tt = defaultTimetable('Default');
  for (const ch of [tt.chA, tt.chB]) {
    ch.startOfClass.id = ch.endOfClass.id = 'ID_melody';
    ch.preStart.id = ch.preEnd.id = 'ID_ping';
  }
  return tt;
}

describe('timetable form', () => {
  it('round-trips a stored timetable unchanged, keeping members it does not know', () => {
    const stored = { ...factory(), customPlays: [{ desc: { id: 'ID_ping', doRepeat: true, iterations: 3, delaySec: 1.5 }, slots: ['10:00'] }], futureField: 42 };
    const result = fromForm(toForm(stored), stored, SIGNALS);
    expect(result).toEqual({ ok: true, value: stored, warnings: [] });
  });

  it('drops the list key from the record it sends', () => {
    const stored = { ...factory(), id: 'abc' };
    const result = fromForm(toForm(stored), stored, SIGNALS);
    expect(result.ok && 'id' in result.value).toBe(false);
  });

  it('normalises times and sorts custom play slots', () => {
    const form = toForm(factory());
    form.chA.lessons = [{ start: '7:5', end: '7:50:30' }];
    form.customPlays = [{ desc: { id: 'ID_ping', doRepeat: false, iterations: '2', delaySec: '1' }, slots: ['12:00', '9:30'] }];
    const result = fromForm(form, factory(), SIGNALS);
    expect(result.ok).toBe(true);
    if (!result.ok) return;
    expect(result.value.chA.lessons).toEqual(['07:05 - 07:50:30']);
    expect(result.value.customPlays[0].slots).toEqual(['09:30', '12:00']);
  });

  it('refuses each kind of bad input with a message naming where it is', () => {
    const cases: [string, (f: ReturnType<typeof toForm>) => void, RegExp][] = [
      ['empty name', (f) => (f.name = '  '), /^Name:/],
      ['bad time', (f) => (f.chA.lessons[0].start = '25:00'), /^Channel A, lesson 1: Start:/],
      ['reversed lesson', (f) => (f.chB.lessons[2] = { start: '11:00', end: '10:00' }), /^Channel B, lesson 3: .*ends before it starts/],
      ['overlap', (f) => (f.chA.lessons[1].start = '08:30'), /^Channel A, lesson 2 .*starts before lesson 1/],
      ['wait not a number', (f) => (f.chA.preStartWaitMin = '5.5'), /^Channel A, minutes of warning before the start:/],
      ['wait too long', (f) => (f.chA.preEndWaitMin = '500'), /from 0 to 120/],
      ['iterations zero', (f) => (f.chA.startOfClass.iterations = '0'), /number of plays/],
      ['negative pause', (f) => (f.chA.endOfClass.delaySec = '-1'), /pause/],
      ['deleted signal', (f) => (f.chA.preStart.id = 'gone'), /no longer exists/],
      ['custom play without time', (f) => f.customPlays.push({ desc: { id: 'ID_ping', doRepeat: false, iterations: '2', delaySec: '1' }, slots: [] }), /at least one time/],
      ['duplicate slot', (f) => f.customPlays.push({ desc: { id: 'ID_ping', doRepeat: false, iterations: '2', delaySec: '1' }, slots: ['10:00', '10:00:00'] }), /listed twice/],
    ];
    for (const [name, breakIt, message] of cases) {
      const form = toForm(factory());
      breakIt(form);
      const result = fromForm(form, factory(), SIGNALS);
      expect(result.ok, name).toBe(false);
      if (!result.ok) expect(result.errors.some((e) => message.test(e.text) && !!e.field), `${name}: ${result.errors.map((e) => e.text).join(' | ')}`).toBe(true);
    }
  });

  it('saves an extra bell without a sound, with a warning pointing at its signal', () => {
    const form = toForm(factory());
    form.customPlays.push({ desc: { id: 'NULL', doRepeat: false, iterations: '2', delaySec: '1' }, slots: ['10:00'] });
    const result = fromForm(form, factory(), SIGNALS);
    expect(result.ok).toBe(true);
    expect(result.warnings.map((w) => w.field)).toEqual(['custom-0-signal']);
  });

  it('allows a lesson to start the second the previous one ends', () => {
    const form = toForm(factory());
    form.chA.lessons = [
      { start: '08:00', end: '08:45' },
      { start: '08:45', end: '09:30' },
    ];
    expect(fromForm(form, factory(), SIGNALS).ok).toBe(true);
  });
});
