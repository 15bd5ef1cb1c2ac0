import { describe, expect, it } from 'vitest';
import { bellsAfter, bellsOfDay } from './bells';
import { defaultTimetable } from './timetable';
import { formatTime } from './time';

const at = (s: number) => formatTime({ h: Math.floor(s / 3600), m: Math.floor((s % 3600) / 60), s: s % 60 });

describe('bells of a day', () => {
  it('rings channel A with its warnings and the custom plays, never a silent signal', () => {
    const tt = defaultTimetable('T');
    tt.chA.lessons = ['00:02 - 00:45', '08:00:30 - 08:45'];
    tt.chA.startOfClass.id = 'ID_melody';
    tt.chA.preStart.id = 'ID_ping';
    tt.chA.preStartWaitMin = 5;
    tt.chB.startOfClass.id = 'ID_ring';
    tt.customPlays = [{ desc: { id: 'ID_ring', doRepeat: false, iterations: 2, delaySec: 1 }, slots: ['12:00', 'bad'] }];
    const bells = bellsOfDay(tt).map((b) => `${at(b.seconds)} ${b.signalId}`);
    expect(bells).toEqual(['00:02 ID_melody', '07:55:30 ID_ping', '08:00:30 ID_melody', '12:00 ID_ring', '23:57 ID_ping']);
  });

  it('lists only the bells after the current second', () => {
    const tt = defaultTimetable('T');
    tt.chA.endOfClass.id = 'ID_melody';
    expect(bellsAfter(tt, '08:45:00').map((b) => at(b.seconds))).toEqual(['09:45', '10:45', '11:45', '12:45', '13:45']);
    expect(bellsAfter(tt, '13:45:00')).toEqual([]);
  });
});
