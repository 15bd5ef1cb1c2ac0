// The bells a timetable rings in a day, as the player rings them: channel A's lessons and the
// custom plays, each at the exact second, warnings wrapping round midnight.
import { parseTime, secondsOfDay, splitLesson } from './time';
import type { PlayDesc, TimeTable } from './types';
import { NULL_ID } from './types';
import { t } from '../i18n';

/** Which of the timetable's plays a bell is. */
export type BellKind = 'startOfClass' | 'endOfClass' | 'preStart' | 'preEnd' | 'custom';

export interface Bell {
  seconds: number;
  what: string;
  signalId: string;
  kind: BellKind;
}

const DAY = 24 * 3600;

export function bellsOfDay(tt: TimeTable): Bell[] {
  const bells: Bell[] = [];
  const add = (seconds: number, what: string, desc: PlayDesc | undefined, kind: BellKind) => {
    if (desc && desc.id !== NULL_ID) bells.push({ seconds: ((seconds % DAY) + DAY) % DAY, what, signalId: desc.id, kind });
  };
  const ch = tt.chA;
  (ch?.lessons ?? []).forEach((text, i) => {
    const { start, end } = splitLesson(text);
    const s = parseTime(start);
    const e = parseTime(end);
    const n = i + 1;
    if (s.ok) {
      add(secondsOfDay(s.value), t('bells.start', { n }), ch.startOfClass, 'startOfClass');
      add(secondsOfDay(s.value) - ch.preStartWaitMin * 60, t('bells.preStart', { n, min: ch.preStartWaitMin }), ch.preStart, 'preStart');
    }
    if (e.ok) {
      add(secondsOfDay(e.value), t('bells.end', { n }), ch.endOfClass, 'endOfClass');
      add(secondsOfDay(e.value) - ch.preEndWaitMin * 60, t('bells.preEnd', { n, min: ch.preEndWaitMin }), ch.preEnd, 'preEnd');
    }
  });
  (tt.customPlays ?? []).forEach((p, i) => {
    for (const slot of p.slots) {
      const time = parseTime(slot);
      if (time.ok) add(secondsOfDay(time.value), t('bells.custom', { n: i + 1 }), p.desc, 'custom');
    }
  });
  return bells.sort((a, b) => a.seconds - b.seconds);
}

/** The bells still to ring today after the clock time `now` ("HH:MM:SS"). */
export function bellsAfter(tt: TimeTable, now: string): Bell[] {
  const t = parseTime(now);
  if (!t.ok) return [];
  const current = secondsOfDay(t.value);
  return bellsOfDay(tt).filter((b) => b.seconds > current);
}

/** The bells that fall in the same second as another, in groups; each group plays over itself. */
export function sameSecondBells(tt: TimeTable): Bell[][] {
  const bySecond = new Map<number, Bell[]>();
  for (const bell of bellsOfDay(tt)) bySecond.set(bell.seconds, [...(bySecond.get(bell.seconds) ?? []), bell]);
  return [...bySecond.values()].filter((group) => group.length > 1);
}
