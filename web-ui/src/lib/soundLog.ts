// How the dashboard words the player's log of sounds.
import { t, type MessageKey } from '../i18n';
import { timeText } from '../i18n/format';
import type { HistoryEntry } from './types';

const SOURCES: Record<string, MessageKey> = {
  lessonStart: 'source.lessonStart',
  lessonEnd: 'source.lessonEnd',
  preStart: 'source.preStart',
  preEnd: 'source.preEnd',
  customPlay: 'source.customPlay',
  programme: 'source.programme',
  alarm: 'source.alarm',
  signal: 'source.signal',
  song: 'source.song',
  announcement: 'source.announcement',
  timetable: 'source.timetable',
};

export const sourceLabel = (source?: string) =>
  source && Object.prototype.hasOwnProperty.call(SOURCES, source) ? t(SOURCES[source]) : source || t('source.unknown');

/** "08:00:00" of "2026-03-09T08:00:00.123"; "" for none. */
export const timeOf = (text?: string | null) => (text ? text.replace(/^.*T/, '').slice(0, 8) : '');

/** The time of day of a log entry's instant, to the second, in the dashboard's language: "08:00:00". */
export const clockOf = (text?: string | null) => (text ? timeText(timeOf(text), true) : '');

/** How late a sound started: "" when on time (within a second), else "3 s late" or "2 min 5 s late". */
export function latenessText(ms?: number): string {
  if (ms === undefined || ms < 1000) return '';
  const s = Math.round(ms / 1000);
  return s < 60 ? t('log.lateSeconds', { s }) : t('log.lateMinutes', { m: Math.floor(s / 60), s: s % 60 });
}

/** One line for an entry: "08:00 Start of lesson: Bell, started". */
export function entrySummary(e: HistoryEntry): string {
  const when = clockOf(e.due ?? e.started);
  const what = `${sourceLabel(e.source)}${e.name ? `: ${e.name}` : ''}`;
  const outcome =
    e.outcome === 'failed'
      ? e.reason
        ? t('log.summaryFailedReason', { reason: e.reason })
        : t('log.summaryFailed')
      : e.outcome === 'skipped'
        ? e.reason
          ? t('log.summarySkippedReason', { reason: e.reason })
          : t('log.summarySkipped')
        : t('log.summaryStarted');
  const late = latenessText(e.lateMs);
  return `${when ? `${when} ` : ''}${what}, ${outcome}${late ? `, ${late}` : ''}`;
}

/** The day before or after a YYYY-MM-DD date. */
export function shiftDay(date: string, days: number): string {
  const d = new Date(`${date}T12:00:00Z`);
  d.setUTCDate(d.getUTCDate() + days);
  return d.toISOString().slice(0, 10);
}
