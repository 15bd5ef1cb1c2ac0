// How the dashboard words the player's log of sounds.
import type { HistoryEntry } from './types';

const SOURCES: Record<string, string> = {
  lessonStart: 'Start of lesson',
  lessonEnd: 'End of lesson',
  preStart: 'Warning before the start',
  preEnd: 'Warning before the end',
  customPlay: 'Extra bell',
  programme: 'Programme',
  alarm: 'Alarm',
  signal: 'Played by hand',
  song: 'Song played by hand',
  announcement: 'Announcement',
  timetable: "The day's timetable",
};

export const sourceLabel = (source?: string) => (source && SOURCES[source]) || source || 'Sound';

/** "08:00:00" of "2026-03-09T08:00:00.123"; "" for none. */
export const timeOf = (text?: string | null) => (text ? text.replace(/^.*T/, '').slice(0, 8) : '');

/** How late a sound started: "" when on time (within a second), else "3 s late" or "2 min 5 s late". */
export function latenessText(ms?: number): string {
  if (ms === undefined || ms < 1000) return '';
  const s = Math.round(ms / 1000);
  return s < 60 ? `${s} s late` : `${Math.floor(s / 60)} min ${s % 60} s late`;
}

/** One line for an entry: "08:00:00 Start of lesson: Bell, started". */
export function entrySummary(e: HistoryEntry): string {
  const when = timeOf(e.due ?? e.started);
  const what = `${sourceLabel(e.source)}${e.name ? `: ${e.name}` : ''}`;
  const outcome =
    e.outcome === 'failed'
      ? `failed${e.reason ? ` (${e.reason})` : ''}`
      : e.outcome === 'skipped'
        ? `did not ring${e.reason ? ` (${e.reason})` : ''}`
        : 'started';
  const late = latenessText(e.lateMs);
  return `${when ? `${when} ` : ''}${what}, ${outcome}${late ? `, ${late}` : ''}`;
}

/** The day before or after a YYYY-MM-DD date. */
export function shiftDay(date: string, days: number): string {
  const d = new Date(`${date}T12:00:00Z`);
  d.setUTCDate(d.getUTCDate() + days);
  return d.toISOString().slice(0, 10);
}
