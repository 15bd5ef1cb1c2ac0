// What every page must warn about, fetched again on each event of the player's stream (polled
// while the stream is down), and a signal that something was changed here so that other parts
// of the page refresh at once.
import { useEffect, useRef, useState } from 'preact/hooks';
import { ApiError, getTarget } from './api';
import { messageOf, useFallbackPolling } from './hooks';
import { useLiveEvents } from './live';
import { failureKey, openFailures } from './soundLog';
import type { HistoryEntry, Overview, Status } from './types';

const CHANGED = 'veltrano:changed';

/** Tells every open part of the dashboard that the player's state was changed from here. */
export function notifyChanged(): void {
  window.dispatchEvent(new Event(CHANGED));
}

/** Calls fn whenever notifyChanged() is called. */
export function useChanged(fn: () => void): void {
  const saved = useRef(fn);
  saved.current = fn;
  useEffect(() => {
    const listener = () => saved.current();
    window.addEventListener(CHANGED, listener);
    return () => window.removeEventListener(CHANGED, listener);
  }, []);
}

export interface Warnings {
  status?: Status;
  overview?: Overview;
  /**
   * Today's failed sounds that still need attention (not acknowledged, not played fine since);
   * undefined where the player keeps no log.
   */
  failedToday?: HistoryEntry[];
  /** Hides a failure's warning in this browser. */
  acknowledge: (failure: HistoryEntry) => void;
  error?: string;
  refresh: () => void;
}

const STATUS_MS = 2000;
const OVERVIEW_MS = 5000;
const HISTORY_MS = 30000;
/** localStorage: the failures acknowledged in this browser (their keys, today's only kept). */
const ACKNOWLEDGED_KEY = 'veltrano.acknowledgedFailures';
const MAX_ACKNOWLEDGED = 200;

function loadAcknowledged(): string[] {
  try {
    const v: unknown = JSON.parse(localStorage.getItem(ACKNOWLEDGED_KEY) ?? '[]');
    return Array.isArray(v) ? v.filter((k): k is string => typeof k === 'string') : [];
  } catch {
    return [];
  }
}

export function usePlayerWarnings(): Warnings {
  const [status, setStatus] = useState<Status>();
  const [overview, setOverview] = useState<Overview>();
  const [entries, setEntries] = useState<HistoryEntry[]>();
  const [acknowledged, setAcknowledged] = useState<string[]>(loadAcknowledged);
  const [error, setError] = useState<string>();
  const historyKnown = useRef(true);
  const lastSoundSeen = useRef<string | undefined>(undefined);

  const pollStatus = () =>
    getTarget<Status>('status').then(
      (s) => {
        setStatus(s);
        setError(undefined);
        // A new sound (or failure) is in the log: ask for the day's log now, not at the next poll.
        const last = s.lastSound ? JSON.stringify(s.lastSound) : '';
        if (lastSoundSeen.current !== undefined && last !== lastSoundSeen.current) pollHistory();
        lastSoundSeen.current = last;
      },
      (e) => setError(messageOf(e)),
    );
  const pollOverview = () => getTarget<Overview>('overview').then(setOverview, () => undefined);
  const pollHistory = () => {
    if (!historyKnown.current) return;
    getTarget<HistoryEntry[]>('history').then(
      (list) => setEntries(Array.isArray(list) ? list : undefined),
      (e) => {
        // A player without a sound log answers "Unknown target": stop asking.
        if (e instanceof ApiError && e.status === 400 && e.serverText?.startsWith('Unknown target')) historyKnown.current = false;
      },
    );
  };
  const refresh = () => {
    void pollStatus();
    void pollOverview();
    pollHistory();
  };
  useEffect(refresh, []);
  useChanged(refresh);
  useLiveEvents(['alarm', 'bells', 'database', 'playing', 'saveError', 'sound'], (name) => {
    if (name === 'playing' || name === 'saveError' || name === 'reconnected') void pollStatus();
    if (name === 'alarm' || name === 'bells' || name === 'database' || name === 'reconnected') void pollOverview();
    // A failure opens a warning; a later start of the same sound closes it.
    if (name === 'sound' || name === 'reconnected') pollHistory();
  });
  useFallbackPolling(pollStatus, STATUS_MS);
  useFallbackPolling(pollOverview, OVERVIEW_MS);
  useFallbackPolling(pollHistory, HISTORY_MS);
  const acknowledge = (failure: HistoryEntry) => {
    const today = new Set((entries ?? []).map(failureKey));
    const next = [...acknowledged.filter((k) => today.has(k)), failureKey(failure)].slice(-MAX_ACKNOWLEDGED);
    setAcknowledged(next);
    try {
      localStorage.setItem(ACKNOWLEDGED_KEY, JSON.stringify(next));
    } catch {
      // Private mode: acknowledged for this page only.
    }
  };
  const failedToday = entries ? openFailures(entries, new Set(acknowledged)) : undefined;
  return { status, overview, failedToday, acknowledge, error, refresh };
}
