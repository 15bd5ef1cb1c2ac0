// The player's event stream, and whether the player answers at all. One stream serves every
// page; while it is down the pages poll as before, and when neither the stream nor a request has
// had an answer for a while, the dashboard says the player is not answering.
import { useEffect, useRef, useState } from 'preact/hooks';

/** What the stream sends; "reconnected" when it is back after a break (anything may have changed). */
export type LiveEventName = 'alarm' | 'playing' | 'bells' | 'database' | 'saveError' | 'sound' | 'reconnected';
const STREAM_EVENTS: LiveEventName[] = ['alarm', 'playing', 'bells', 'database', 'saveError', 'sound'];

type Listener = (name: LiveEventName, data: unknown) => void;

/** Without any answer for this long, the player counts as not answering. */
export const NOT_ANSWERING_MS = 5000;
/** The stream sends a heartbeat every 15 s; silence longer than this means it hangs. */
const STREAM_SILENCE_MS = 20000;
/** A stream the browser gave up on (the player refused it) is tried again after this. */
const REOPEN_MS = 5000;
const CHECK_MS = 500;

let source: EventSource | undefined;
let users = 0;
let open = false;
let everOpened = false;
let lastAnswer = Date.now();
let lastMessage = 0;
let downSince: number | undefined;
let checkTimer: ReturnType<typeof setInterval> | undefined;
let reopenTimer: ReturnType<typeof setTimeout> | undefined;
const listeners = new Set<Listener>();
const linkListeners = new Set<() => void>();

/** Any answer of the player, from the stream or a request (an error answer too). */
export function markAnswered(): void {
  lastAnswer = Date.now();
  check();
}

/** Whether the stream is up and recent, so that polling can rest. */
export function isStreaming(): boolean {
  return open && Date.now() - lastMessage < STREAM_SILENCE_MS;
}

function check(): void {
  const answering = isStreaming() || Date.now() - lastAnswer < NOT_ANSWERING_MS;
  const next = answering ? undefined : (downSince ?? lastAnswer);
  if (next !== downSince) {
    downSince = next;
    linkListeners.forEach((l) => l());
  }
}

function dispatch(name: LiveEventName, data: unknown): void {
  listeners.forEach((l) => l(name, data));
}

function heard(): void {
  lastMessage = Date.now();
  markAnswered();
}

function connect(): void {
  const stream = new EventSource('/api/events');
  source = stream;
  stream.onopen = () => {
    open = true;
    heard();
    if (everOpened) dispatch('reconnected', undefined);
    everOpened = true;
  };
  stream.onerror = () => {
    // The player was there until now; from here on the requests tell.
    if (open) markAnswered();
    open = false;
    check();
    if (stream.readyState === EventSource.CLOSED && source === stream) {
      source = undefined;
      reopenTimer = setTimeout(() => {
        reopenTimer = undefined;
        if (users > 0 && !source) connect();
      }, REOPEN_MS);
    }
  };
  for (const name of STREAM_EVENTS) {
    stream.addEventListener(name, (e) => {
      heard();
      let data: unknown;
      try {
        data = JSON.parse((e as MessageEvent<string>).data);
      } catch {
        return;
      }
      dispatch(name, data);
    });
  }
  stream.addEventListener('heartbeat', heard);
}

function start(): void {
  if (users++ > 0) return;
  lastAnswer = Date.now();
  connect();
  checkTimer = setInterval(check, CHECK_MS);
}

function stop(): void {
  if (--users > 0) return;
  source?.close();
  source = undefined;
  open = false;
  everOpened = false;
  clearInterval(checkTimer);
  clearTimeout(reopenTimer);
  downSince = undefined;
}

/** Keeps the stream open while the calling component lives; answers since when the player has not answered. */
export function usePlayerLink(): Date | undefined {
  const [since, setSince] = useState<number | undefined>(downSince);
  useEffect(() => {
    start();
    const listener = () => setSince(downSince);
    linkListeners.add(listener);
    listener();
    return () => {
      linkListeners.delete(listener);
      stop();
    };
  }, []);
  return since === undefined ? undefined : new Date(since);
}

/** Calls fn for each of the named events the stream brings (and after the stream is back). */
export function useLiveEvents(names: LiveEventName[], fn: (name: LiveEventName, data: unknown) => void): void {
  const saved = useRef(fn);
  saved.current = fn;
  const key = names.join(',');
  useEffect(() => {
    const wanted = new Set<LiveEventName>([...names, 'reconnected']);
    const listener: Listener = (name, data) => {
      if (wanted.has(name)) saved.current(name, data);
    };
    listeners.add(listener);
    return () => {
      listeners.delete(listener);
    };
    // eslint-disable-next-line react-hooks/exhaustive-deps
  }, [key]);
}

/** The part of the database a "database" event names. */
export function changedPart(data: unknown): string | undefined {
  const part = (data as { part?: unknown } | null)?.part;
  return typeof part === 'string' ? part : undefined;
}
