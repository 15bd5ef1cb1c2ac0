import { describe, expect, it } from 'vitest';
import { failureKey, failureSentence, latenessText, openFailures } from './soundLog';
import { sameSecondBells } from './bells';
import { defaultTimetable } from './timetable';
import type { HistoryEntry } from './types';

const failed = (signalId: string, at: string): HistoryEntry => ({ outcome: 'failed', source: 'lessonStart', signalId, name: signalId, due: `2026-03-09T${at}`, reason: 'missing file: 7996882e.wav' });
const started = (signalId: string, at: string): HistoryEntry => ({ outcome: 'started', source: 'lessonStart', signalId, name: signalId, due: `2026-03-09T${at}`, started: `2026-03-09T${at}.010`, lateMs: 10 });

describe('sound log wording', () => {
  it('keeps a failure until it is acknowledged or the same sound has played since', () => {
    const day = [failed('tone', '08:00:00'), failed('bell', '08:45:00'), started('bell', '09:00:00'), failed('tone', '09:45:00')];
    expect(openFailures(day, new Set()).map((e) => e.due)).toEqual(['2026-03-09T08:00:00', '2026-03-09T09:45:00']);
    expect(openFailures(day, new Set([failureKey(day[0])])).map((e) => e.due)).toEqual(['2026-03-09T09:45:00']);
    expect(openFailures([...day, started('tone', '10:00:00')], new Set())).toEqual([]);
  });

  it('names the sound and the advice, never the file id; on time within 50 ms', () => {
    const text = failureSentence(failed('tone', '10:17:00'));
    expect(text).toBe('The bell “tone” at 10:17 could not play: its file is missing. Upload it again or choose another signal.');
    expect([latenessText(undefined), latenessText(49), latenessText(120), latenessText(3000)]).toEqual(['', 'on time', '120 ms late', '3 s late']);
  });

  it('flags bells of one timetable that fall in the same second', () => {
    const tt = defaultTimetable('T');
    tt.chA = { ...tt.chA, lessons: ['08:00 - 08:45', '08:50 - 09:35'], startOfClass: { ...tt.chA.startOfClass, id: 'ID_melody' }, endOfClass: { ...tt.chA.endOfClass, id: 'ID_melody' }, preStart: { ...tt.chA.preStart, id: 'ID_ping' }, preStartWaitMin: 5 };
    tt.customPlays = [{ desc: { id: 'ID_ping', doRepeat: false, iterations: 1, delaySec: 0 }, slots: ['09:35'] }];
    expect(sameSecondBells(tt).map((group) => group.length)).toEqual([2, 2]);
  });
});
