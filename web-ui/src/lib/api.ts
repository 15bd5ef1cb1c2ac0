// The player's HTTP API. Every failure becomes an ApiError whose message can be shown as it is.
import type { HistoryEntry, TimeTable, TimeTableEntry } from './types';
import { t } from '../i18n';
import { serverText } from '../i18n/server';
import { markAnswered } from './live';

export class ApiError extends Error {
  /** Seconds the player asks the client to wait before trying again (Retry-After). */
  retryAfterSec?: number;

  /**
   * message: in the dashboard's language, for the user; serverText: the player's answer exactly
   * as it came (English, for the code to compare), where there is one.
   */
  constructor(
    message: string,
    readonly status: number,
    readonly serverText?: string,
  ) {
    super(message);
    this.name = 'ApiError';
  }
}

/** The guard's answer when a password is set and this browser is not logged in. */
export const NO_AUTH = 'No auth';

let noAuthHandler: () => void = () => {};

/** Called whenever the player answers "No auth"; the app sends the user to the login page. */
export function onNoAuth(handler: () => void): void {
  noAuthHandler = handler;
}

/** The text of an error answer: HTML reduced to its words, at most 300 characters. */
function answerText(body: string, contentType: string | null): string {
  let text = body.trim();
  if (contentType?.includes('html') || text.startsWith('<')) {
    text = text.replace(/<(script|style)[\s\S]*?<\/\1>/gi, ' ').replace(/<[^>]*>/g, ' ').replace(/\s+/g, ' ').trim();
  }
  if (text.length > 300) text = `${text.slice(0, 300)}…`;
  return text;
}

/** Turns an error answer into words for the user; a player message the dashboard knows in its language. */
export function errorText(status: number, statusText: string, body: string, contentType: string | null): string {
  const text = serverText(answerText(body, contentType));
  const code = `HTTP ${status}${statusText ? ` ${statusText}` : ''}`;
  if (!text) return t('api.refused', { code });
  return status === 400 ? text : t('api.withCode', { text, code });
}

function failure(status: number, statusText: string, body: string, contentType: string | null): ApiError {
  if (status === 400 && body.trim() === NO_AUTH) {
    noAuthHandler();
    return new ApiError(t('api.notLoggedIn'), status, NO_AUTH);
  }
  return new ApiError(errorText(status, statusText, body, contentType), status, answerText(body, contentType));
}

async function send(path: string, init: RequestInit = {}): Promise<Response> {
  let response: Response;
  try {
    response = await fetch(path, { credentials: 'same-origin', cache: 'no-store', ...init });
  } catch (e) {
    throw new ApiError(t('api.noAnswer', { reason: (e as Error).message }), 0);
  }
  markAnswered();
  if (!response.ok && response.type !== 'opaqueredirect') {
    const error = failure(response.status, response.statusText, await response.text(), response.headers.get('content-type'));
    const retryAfter = Number(response.headers.get('retry-after'));
    if (retryAfter > 0) error.retryAfterSec = retryAfter;
    throw error;
  }
  return response;
}

async function json<T>(path: string, init?: RequestInit): Promise<T> {
  const response = await send(path, init);
  const text = await response.text();
  try {
    return JSON.parse(text) as T;
  } catch {
    throw new ApiError(t('api.notJson', { text: text.slice(0, 200) }), response.status);
  }
}

const postJson = (value: unknown): RequestInit => ({
  method: 'POST',
  headers: { 'Content-Type': 'application/json' },
  body: JSON.stringify(value),
});

function query(params?: Record<string, string | number>): string {
  if (!params) return '';
  const q = new URLSearchParams(Object.entries(params).map(([k, v]) => [k, String(v)]));
  return `?${q.toString()}`;
}

export const seg = (s: string) => encodeURIComponent(s);

/** One of the query targets: status, info, overview, signals, programmeInfo, settings, calendarInfo, calendarDays. */
export function getTarget<T>(target: string, params?: Record<string, string | number>): Promise<T> {
  return json<T>(`/api/get/${seg(target)}${query(params)}`);
}

/** One of the actions; the player answers "ok" or the reason it failed. */
export async function trigger(target: string, id: string | number, params?: Record<string, string | number>): Promise<void> {
  const response = await send(`/api/trigger/${seg(target)}/${seg(String(id))}${query(params)}`);
  const text = (await response.text()).trim();
  if (text !== 'ok') throw new ApiError(t('api.notOk', { text: serverText(text.slice(0, 200)) }), response.status, text);
}

/** Switches the alarm on or off (nothing happens when it already is so); answers the state reached. */
export async function setAlarm(on: boolean): Promise<boolean> {
  const answer = await json<{ alarmActive: boolean }>(`/api/trigger/${on ? 'alarmOn' : 'alarmOff'}/0`);
  return answer.alarmActive;
}

/** The answer to a delete whose list was out of date: nothing was deleted. */
/** Stops every sound now, the alarm included. */
export const stopAllSounds = () => json<boolean>('/api/trigger/stopAll/0');

/** The sounds of a day (YYYY-MM-DD; the player's today when absent), in the order they started. */
export const getHistory = (date?: string) => getTarget<HistoryEntry[]>('history', date ? { date } : undefined);

export const CALENDAR_CHANGED = 'The calendar changed; reload';

export const getDb = () => json<Record<string, unknown>>('/db');
export const getTimetables = () => json<TimeTableEntry[]>('/db/timetables');
export const createTimetable = (tt: TimeTable) => json<string>('/db/timetables/create', postJson(tt));
export const updateTimetable = (id: string, tt: TimeTable) => json<boolean>(`/db/timetables/update/${seg(id)}`, postJson(tt));
/** Changes settings by dotted field path, e.g. {"calendar.workdayMode": 15}. */
export const updateSettings = (changes: Record<string, unknown>) => json<boolean>('/db/settings/update', postJson(changes));

/** Logs in; false when the password is wrong. */
export async function login(userPassword: string, remember: boolean): Promise<boolean> {
  try {
    await send('/auth/login', { ...postJson({ userPassword, remember }), redirect: 'manual' });
    return true;
  } catch (e) {
    if (e instanceof ApiError && e.status === 400 && e.serverText === 'Login failed') return false;
    throw e;
  }
}

/** Set once the first-start welcome was skipped in this browser. */
export const WELCOME_SKIPPED = 'veltrano.welcomeSkipped';

export async function logout(): Promise<void> {
  await send('/auth/logout', { redirect: 'manual' });
}

/** How many browsers are logged in. */
export const loginCount = () => json<{ count: number }>('/auth/sessions').then((a) => a.count);

/** Ends every browser's login, this one's too. */
export async function logoutEverywhere(): Promise<void> {
  await send('/auth/logout-everywhere', { method: 'POST' });
}

/** Mails a test message to the alert addresses now. */
export async function sendTestEmail(): Promise<void> {
  await send('/alerts/test', { method: 'POST' });
}

/** Sets a new password; the body is the password as a JSON string. */
export async function changePassword(password: string): Promise<void> {
  await send('/auth/chpasswd', postJson(password));
}

export const signalFileUrl = (id: string) => `/get_signal_file/${seg(id)}`;

/** Uploads a file with progress (0..1); answers the new key. */
export function upload(form: FormData, onProgress: (fraction: number) => void): Promise<string> {
  return postForm<string>('/upload', form, onProgress);
}

/** Posts a multipart form with progress (0..1); answers the JSON answer. */
function postForm<T>(path: string, form: FormData, onProgress: (fraction: number) => void): Promise<T> {
  return new Promise((resolve, reject) => {
    const xhr = new XMLHttpRequest();
    xhr.open('POST', path);
    xhr.withCredentials = true;
    xhr.upload.onprogress = (e) => {
      if (e.lengthComputable && e.total > 0) onProgress(e.loaded / e.total);
    };
    xhr.onload = () => {
      if (xhr.status >= 200 && xhr.status < 300) {
        onProgress(1);
        try {
          resolve(JSON.parse(xhr.responseText) as T);
        } catch {
          reject(new ApiError(t('api.notJson', { text: xhr.responseText.slice(0, 200) }), xhr.status));
        }
      } else {
        reject(failure(xhr.status, xhr.statusText, xhr.responseText, xhr.getResponseHeader('content-type')));
      }
    };
    xhr.onerror = () => reject(new ApiError(t('api.uploadInterrupted'), 0));
    xhr.onabort = () => reject(new ApiError(t('api.uploadCancelled'), 0));
    xhr.send(form);
  });
}

/** One occurrence of an event of an uploaded .ics file. */
export interface IcsEvent {
  summary: string;
  start: string;
  end: string;
}

/**
 * Reads an .ics file on the player; from and to (YYYY-MM-DD) may be empty for the default range.
 */
export function previewIcs(file: File, from: string, to: string): Promise<IcsEvent[]> {
  const form = new FormData();
  form.append('file', file);
  if (from)
    form.append('from', from);
  if (to)
    form.append('to', to);
  return json<IcsEvent[]>('/db/calendar/preview-ics', {method: 'POST', body: form});
}

export interface ImportedEvent {
  name: string;
  start: string;
  end: string;
  timeTableId: string;
}

/** Adds single events; those already in the calendar (same name and days) are skipped. */
export const importEvents = (events: ImportedEvent[]) =>
    json<{added: number; skipped: number}>('/db/calendar/import', postJson({events}));

/** A subscribed iCalendar address, with the outcome of its refreshes. */
export interface CalendarSubscription {
  url: string;
  timeTableId: string;
  name: string;
  /** Local date-times ("2026-12-09T07:00:03"); empty until there was one. */
  lastAttempt: string;
  lastSuccess: string;
  /** Why the last refresh failed; empty when it worked. */
  lastError: string;
  /** Single events the calendar gave, now in the player. */
  events: number;
}

export const getSubscriptions = () => getTarget<CalendarSubscription[]>('calendarSubscriptions');
/** Subscribes; the player fetches nothing until the next refresh. Answers the new list. */
export const addSubscription = (url: string, name: string, timeTableId: string) =>
  json<CalendarSubscription[]>('/db/calendar/subscriptions/add', postJson({ url, name, timeTableId }));
/** Ends the subscription at index, if it is still the one for url (409 otherwise). */
export const deleteSubscription = (index: number, url: string) =>
  json<CalendarSubscription[]>(`/db/calendar/subscriptions/delete/${index}${query({ expectUrl: url })}`, { method: 'POST' });
/** Fetches every subscribed calendar now; answers the list once all are done. */
export const refreshSubscriptions = () => json<CalendarSubscription[]>('/db/calendar/subscriptions/refresh', { method: 'POST' });

export interface Voice {
  id: string;
  name: string;
}

export interface SpeakRequest {
  text: string;
  /** null: the player's default voice. */
  voice: string|null;
  /** null: now; else "YYYY-MM-DDTHH:MM:SS" on the player's clock. */
  at: string|null;
}

/** Speaks now (answers true) or programmes the announcement (answers its id). */
export const speak = (request: SpeakRequest) =>
    json<true|string>('/db/announcements/speak', postJson(request));

/** The spoken text as a WAVE file, for the browser to play; the player keeps nothing. */
export async function previewSpeech(request: SpeakRequest): Promise<Blob> {
  const response = await send('/db/announcements/preview', postJson(request));
  return response.blob();
}

/** A copy of the stores the player keeps: daily, and before every restore. */
export interface Snapshot {
  name: string;
  /** Local time on the player, YYYY-MM-DD HH:MM:SS. */
  created: string;
  reason: 'daily' | 'before-restore';
  size: number;
  /** What it would bring back; null when it cannot be read; absent from older players. */
  contents?: { timetables: number; events: number; uploadedSignals: number; passwordSet: boolean } | null;
  /** In one taken before a restore: what that restore brought in. */
  restoring?: { kind: 'snapshot' | 'file'; name: string };
}

export interface RestoreAnswer {
  /** The snapshot of the state before the restore. */
  snapshot: string;
  /** False when the restored password differs: this browser must log in again. */
  loggedIn: boolean;
  /** Audio files a restored snapshot refers to that are gone. */
  missingAudioFiles: string[];
}

export const BACKUP_URL = '/backup';
export const getSnapshots = () => json<Snapshot[]>('/backup/snapshots');

/** Why a backup cannot be made now, or undefined when it can (asked without making one). */
export async function backupProblem(): Promise<string | undefined> {
  const head = await fetch(BACKUP_URL, { method: 'HEAD', credentials: 'same-origin', cache: 'no-store' });
  if (head.ok) return undefined;
  try {
    await send(BACKUP_URL);
    return undefined;
  } catch (e) {
    return (e as Error).message;
  }
}

/** Replaces the whole setup by the backup file's, with upload progress (0..1). */
export const restoreBackup = (file: File, onProgress: (fraction: number) => void) => {
  const form = new FormData();
  form.append('file', file);
  return postForm<RestoreAnswer>('/restore', form, onProgress);
};

/** Restores a snapshot; the password in force stays unless restorePassword. */
export const restoreSnapshot = (name: string, restorePassword = false) =>
  json<RestoreAnswer>(`/restore/snapshot/${seg(name)}${restorePassword ? '?restorePassword=true' : ''}`, { method: 'POST', body: '' });
