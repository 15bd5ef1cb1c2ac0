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

/** A start within this of its second is on time: the player's own timing, not a late bell. */
export const ON_TIME_MS = 50;

/** How late a due sound started: "on time", "120 ms late", "3 s late" or "2 min 5 s late"; "" for none. */
export function latenessText(ms?: number): string {
  if (ms === undefined) return '';
  if (ms < ON_TIME_MS) return t('log.onTime');
  if (ms < 1000) return t('log.lateMs', { ms: Math.round(ms) });
  const s = Math.round(ms / 1000);
  return s < 60 ? t('log.lateSeconds', { s }) : t('log.lateMinutes', { m: Math.floor(s / 60), s: s % 60 });
}

/** The file older players logged a spoken announcement under, instead of its text. */
const SPOKEN_FILE = 'spoken-announcement.wav';

/** What an entry played, in words: a spoken announcement without its text is called so. */
export const entryName = (e: HistoryEntry) => (e.name === SPOKEN_FILE ? t('log.spoken') : (e.name ?? ''));

/** One line for an entry: "08:00 Start of lesson: Bell, started". */
export function entrySummary(e: HistoryEntry): string {
  const when = clockOf(e.due ?? e.started);
  const name = entryName(e);
  const what = `${sourceLabel(e.source)}${name ? `: ${name}` : ''}`;
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

/** Identifies a failure across polls, for remembering that it was acknowledged. */
export const failureKey = (e: HistoryEntry) => `${e.due ?? e.failedAt ?? ''}|${e.source ?? ''}|${e.signalId ?? ''}|${e.name ?? ''}`;

/** The thing a log entry played, for matching a later success to an earlier failure. */
const soundOf = (e: HistoryEntry) => e.signalId || e.name || '';

/**
 * Today's failures still worth a warning: not acknowledged, and not followed by a start of the
 * same sound (a bell that has rung fine since no longer needs anyone's attention).
 */
export function openFailures(entries: HistoryEntry[], acknowledged: ReadonlySet<string>): HistoryEntry[] {
  const open: HistoryEntry[] = [];
  entries.forEach((e, i) => {
    if (e.outcome !== 'failed' || acknowledged.has(failureKey(e))) return;
    const sound = soundOf(e);
    const since = entries.slice(i + 1).some((later) => later.outcome === 'started' && sound !== '' && soundOf(later) === sound);
    if (!since) open.push(e);
  });
  return open;
}

type FailureKind = 'bell' | 'programme' | 'announcement' | 'alarm' | 'sound';

const KIND_OF_SOURCE: Record<string, FailureKind> = {
  lessonStart: 'bell',
  lessonEnd: 'bell',
  preStart: 'bell',
  preEnd: 'bell',
  customPlay: 'bell',
  timetable: 'bell',
  programme: 'programme',
  announcement: 'announcement',
  alarm: 'alarm',
};

/** Why a sound failed, in words with what to do; the player's reason is a code-like text. */
function failureWhy(reason: string | undefined): string {
  const r = reason ?? '';
  if (r.startsWith('missing file')) return t('failure.fileMissing');
  if (r.startsWith('unknown signal')) return t('failure.signalGone');
  if (r.startsWith('ran past its length')) return t('failure.tooLong');
  if (r.startsWith('player failed') || r.startsWith('not started')) return t('failure.output', { detail: r.replace(/^[^:]*:\s*/, '') });
  return r ? t('failure.other', { reason: r }) : t('failure.unknown');
}

/** "The bell 'tone' at 10:17 could not play: its file is missing. Upload it again or choose another signal." */
export function failureSentence(e: HistoryEntry): string {
  const kind = (e.source && KIND_OF_SOURCE[e.source]) || 'sound';
  return t('failure.sentence', { kind, name: entryName(e) || e.signalId || '?', time: timeText(timeOf(e.due ?? e.failedAt ?? e.started)), why: failureWhy(e.reason) });
}
