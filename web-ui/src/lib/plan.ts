// A timetable as a plan to read at a glance: its lessons in order with the breaks between them,
// the warning bells apart, the other plays, and the kinds of bell that have no signal.
import { bellsOfDay, type Bell } from './bells';
import { parseTime, secondsOfDay, splitLesson } from './time';
import type { TimeTable } from './types';
import { NULL_ID } from './types';
import { PLAY_KEYS, type PlayKey } from './timetable';

export type PlanRow = { kind: 'lesson'; n: number; start: number; end: number } | { kind: 'break'; start: number; end: number };

export interface BellPlan {
  /** Lessons by their start, numbered as the bells name them, with a break wherever there is a gap. */
  rows: PlanRow[];
  lessonCount: number;
  warnings: Bell[];
  others: Bell[];
  /** The kinds of lesson bell without a signal: they do not ring. */
  silent: PlayKey[];
}

export function bellPlan(tt: TimeTable): BellPlan {
  const lessons = (tt.chA?.lessons ?? [])
    .flatMap((text, i) => {
      const { start, end } = splitLesson(text);
      const s = parseTime(start);
      const e = parseTime(end);
      return s.ok && e.ok ? [{ kind: 'lesson' as const, n: i + 1, start: secondsOfDay(s.value), end: secondsOfDay(e.value) }] : [];
    })
    .sort((a, b) => a.start - b.start || a.n - b.n);
  const rows: PlanRow[] = [];
  lessons.forEach((lesson, i) => {
    const before = lessons[i - 1];
    if (before && lesson.start > before.end) rows.push({ kind: 'break', start: before.end, end: lesson.start });
    rows.push(lesson);
  });
  const bells = bellsOfDay(tt);
  return {
    rows,
    lessonCount: lessons.length,
    warnings: bells.filter((b) => b.kind === 'preStart' || b.kind === 'preEnd'),
    others: bells.filter((b) => b.kind === 'custom'),
    silent: PLAY_KEYS.filter((key) => (tt.chA?.[key]?.id ?? NULL_ID) === NULL_ID),
  };
}
