// What every page must warn about, polled from the player, and a signal that something was
// changed here so that other parts of the page refresh at once instead of at their next poll.
import { useEffect, useRef, useState } from 'preact/hooks';
import { ApiError, getTarget } from './api';
import { messageOf, useInterval } from './hooks';
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
  /** Today's failed sounds; undefined where the player keeps no log. */
  failedToday?: HistoryEntry[];
  error?: string;
  refresh: () => void;
}

const STATUS_MS = 2000;
const OVERVIEW_MS = 5000;
const HISTORY_MS = 30000;

export function usePlayerWarnings(): Warnings {
  const [status, setStatus] = useState<Status>();
  const [overview, setOverview] = useState<Overview>();
  const [failedToday, setFailedToday] = useState<HistoryEntry[]>();
  const [error, setError] = useState<string>();
  const historyKnown = useRef(true);

  const pollStatus = () =>
    getTarget<Status>('status').then(
      (s) => {
        setStatus(s);
        setError(undefined);
      },
      (e) => setError(messageOf(e)),
    );
  const pollOverview = () => getTarget<Overview>('overview').then(setOverview, () => undefined);
  const pollHistory = () => {
    if (!historyKnown.current) return;
    getTarget<HistoryEntry[]>('history').then(
      (entries) => setFailedToday(Array.isArray(entries) ? entries.filter((e) => e.outcome === 'failed') : undefined),
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
  useInterval(pollStatus, STATUS_MS);
  useInterval(pollOverview, OVERVIEW_MS);
  useInterval(pollHistory, HISTORY_MS);
  return { status, overview, failedToday, error, refresh };
}
