// Loading and action state shared by the pages.
import { useCallback, useEffect, useRef, useState } from 'preact/hooks';
import { isStreaming } from './live';

export interface Loaded<T> {
  data: T | undefined;
  error: string | undefined;
  loading: boolean;
  reload: () => Promise<void>;
}

export const messageOf = (e: unknown) => (e instanceof Error ? e.message : String(e));

/** Loads data when the page opens and on reload(); keeps the last data when a reload fails. */
export function useLoad<T>(load: () => Promise<T>, deps: unknown[] = []): Loaded<T> {
  const [data, setData] = useState<T>();
  const [error, setError] = useState<string>();
  const [loading, setLoading] = useState(true);
  const alive = useRef(true);
  // Only the newest load may set the state: an older answer arriving late (the month before
  // a quick "Next") must not replace it.
  const newest = useRef(0);
  const reload = useCallback(async () => {
    const ticket = ++newest.current;
    const current = () => alive.current && ticket === newest.current;
    setLoading(true);
    try {
      const value = await load();
      if (!current()) return;
      setData(value);
      setError(undefined);
    } catch (e) {
      if (current()) setError(messageOf(e));
    } finally {
      if (current()) setLoading(false);
    }
    // eslint-disable-next-line react-hooks/exhaustive-deps
  }, deps);
  useEffect(() => {
    alive.current = true;
    void reload();
    return () => {
      alive.current = false;
    };
  }, [reload]);
  return { data, error, loading, reload };
}

export interface Action {
  busy: boolean;
  error: string | undefined;
  done: string | undefined;
  /** Runs fn; its failure is kept as error, its success text as done. */
  run: (fn: () => Promise<string | void>) => Promise<boolean>;
  clear: () => void;
}

export function useAction(): Action {
  const [busy, setBusy] = useState(false);
  const [error, setError] = useState<string>();
  const [done, setDone] = useState<string>();
  const alive = useRef(true);
  useEffect(
    () => () => {
      alive.current = false;
    },
    [],
  );
  const run = useCallback(async (fn: () => Promise<string | void>) => {
    setBusy(true);
    setError(undefined);
    setDone(undefined);
    try {
      const text = await fn();
      if (alive.current) setDone(text || undefined);
      return true;
    } catch (e) {
      if (alive.current) setError(messageOf(e));
      return false;
    } finally {
      if (alive.current) setBusy(false);
    }
  }, []);
  const clear = useCallback(() => {
    setError(undefined);
    setDone(undefined);
  }, []);
  return { busy, error, done, run, clear };
}

/** Calls fn every `ms` milliseconds while the page is open. */
export function useInterval(fn: () => void, ms: number): void {
  const saved = useRef(fn);
  saved.current = fn;
  useEffect(() => {
    const id = setInterval(() => saved.current(), ms);
    return () => clearInterval(id);
  }, [ms]);
}

/** Polls every `ms` milliseconds while the player's event stream is down: the fallback for what the stream tells. */
export function useFallbackPolling(fn: () => void, ms: number): void {
  useInterval(() => {
    if (!isStreaming()) fn();
  }, ms);
}
