// The timetable editor's form model: built from a stored timetable, checked and turned back.
import type { PlayDesc, SignalTable, TimeTable, UserPlay } from './types';
import { NULL_ID } from './types';
import { formatTime, lessonText, parseTime, secondsOfDay, splitLesson, type LessonTimes } from './time';
import { t } from '../i18n';

export interface PlayForm {
  id: string;
  doRepeat: boolean;
  iterations: string;
  delaySec: string;
}

export interface ChannelForm {
  lessons: LessonTimes[];
  startOfClass: PlayForm;
  endOfClass: PlayForm;
  preStartWaitMin: string;
  preStart: PlayForm;
  preEndWaitMin: string;
  preEnd: PlayForm;
}

export interface CustomPlayForm {
  desc: PlayForm;
  slots: string[];
}

export interface TimetableForm {
  name: string;
  chA: ChannelForm;
  chB: ChannelForm;
  customPlays: CustomPlayForm[];
}

export const PLAY_KEYS = ['startOfClass', 'endOfClass', 'preStart', 'preEnd'] as const;
export type PlayKey = (typeof PLAY_KEYS)[number];

/** The kind of bell as a label: "Start of lesson". */
export const playLabel = (key: PlayKey) => t(`play.${key}`);

/** The kind of bell inside a sentence: "start of lesson". */
export const playInText = (key: PlayKey) => t(`play.inText.${key}`);

export const MAX_WAIT_MIN = 120;
export const MAX_ITERATIONS = 50;
export const MAX_DELAY_SEC = 600;

export function defaultPlayDesc(): PlayDesc {
  return { id: NULL_ID, doRepeat: false, iterations: 2, delaySec: 1.0 };
}

export function defaultSignalTable(): SignalTable {
  return {
    lessons: [8, 9, 10, 11, 12, 13].map((h) => `${String(h).padStart(2, '0')}:00 - ${String(h).padStart(2, '0')}:45`),
    startOfClass: defaultPlayDesc(),
    endOfClass: defaultPlayDesc(),
    preStartWaitMin: 5,
    preStart: defaultPlayDesc(),
    preEndWaitMin: 5,
    preEnd: defaultPlayDesc(),
  };
}

export function defaultTimetable(name: string): TimeTable {
  return { name, chA: defaultSignalTable(), chB: defaultSignalTable(), customPlays: [] };
}

/** The timetable's own record, without the key the list adds. */
export function withoutId(entry: TimeTable & { id?: unknown }): TimeTable {
  const { id: _id, ...rest } = entry;
  return rest as TimeTable;
}

function playForm(desc: Partial<PlayDesc> | undefined): PlayForm {
  const d = { ...defaultPlayDesc(), ...desc };
  return { id: d.id, doRepeat: d.doRepeat, iterations: String(d.iterations), delaySec: String(d.delaySec) };
}

function channelForm(ch: Partial<SignalTable> | undefined): ChannelForm {
  const c = { ...defaultSignalTable(), ...ch };
  return {
    lessons: c.lessons.map(splitLesson),
    startOfClass: playForm(c.startOfClass),
    endOfClass: playForm(c.endOfClass),
    preStartWaitMin: String(c.preStartWaitMin),
    preStart: playForm(c.preStart),
    preEndWaitMin: String(c.preEndWaitMin),
    preEnd: playForm(c.preEnd),
  };
}

export function toForm(tt: TimeTable): TimetableForm {
  return {
    name: tt.name,
    chA: channelForm(tt.chA),
    chB: channelForm(tt.chB),
    customPlays: (tt.customPlays ?? []).map((p) => ({ desc: playForm(p.desc), slots: [...p.slots] })),
  };
}

const INTEGER = /^\s*\d+\s*$/;
const DECIMAL = /^\s*\d+(\.\d+)?\s*$/;

/** A problem of the form, with the id of the field to fix it in. */
export interface Problem {
  text: string;
  field?: string;
}

/** The editor's field ids of a bell's settings: "chA-prestart", "custom-0". */
const PLAY_FIELD: Record<PlayKey, string> = { startOfClass: 'start', endOfClass: 'end', preStart: 'prestart', preEnd: 'preend' };
export const playFieldId = (ch: 'chA' | 'chB', key: PlayKey) => `${ch}-${PLAY_FIELD[key]}`;

class Checker {
  errors: Problem[] = [];
  /** What is worth knowing but saves all the same. */
  warnings: Problem[] = [];

  integer(label: string, text: string, min: number, max: number, field: string): number {
    if (!INTEGER.test(text) || Number(text) < min || Number(text) > max) {
      this.errors.push({ text: t('check.wholeNumber', { label, min, max }), field });
      return min;
    }
    return Number(text);
  }

  decimal(label: string, text: string, min: number, max: number, field: string): number {
    if (!DECIMAL.test(text) || Number(text) < min || Number(text) > max) {
      this.errors.push({ text: t('check.seconds', { label, min, max }), field });
      return min;
    }
    return Number(text);
  }

  play(label: string, form: PlayForm, signalIds: Set<string>, field: string): PlayDesc {
    if (form.id !== NULL_ID && !signalIds.has(form.id)) {
      this.errors.push({ text: t('check.signalGone', { label }), field: `${field}-signal` });
    }
    return {
      id: form.id,
      doRepeat: form.doRepeat,
      iterations: this.integer(t('check.iterations', { label }), form.iterations, 1, MAX_ITERATIONS, `${field}-iterations`),
      delaySec: this.decimal(t('check.pause', { label }), form.delaySec, 0, MAX_DELAY_SEC, `${field}-delay`),
    };
  }

  channel(ch: 'chA' | 'chB', label: string, form: ChannelForm, signalIds: Set<string>): SignalTable {
    const lessons: string[] = [];
    let previous: { text: string; end: number } | undefined;
    form.lessons.forEach((l, i) => {
      const text = lessonText(l.start, l.end);
      const field = `${ch}-lesson-${i}-${parseTime(l.start).ok ? 'end' : 'start'}`;
      if (!text.ok) {
        this.errors.push({ text: t('check.lesson', { label, n: i + 1, error: text.error }), field });
        return;
      }
      const start = parseTime(l.start);
      const end = parseTime(l.end);
      if (start.ok && end.ok) {
        if (previous && secondsOfDay(start.value) < previous.end) {
          this.errors.push({
            text: t('check.overlap', { label, n: i + 1, text: text.value, previous: i, previousText: previous.text }),
            field: `${ch}-lesson-${i}-start`,
          });
        }
        previous = { text: text.value, end: secondsOfDay(end.value) };
      }
      lessons.push(text.value);
    });
    const play = (key: PlayKey) => this.play(t('check.play', { label, play: playInText(key) }), form[key], signalIds, playFieldId(ch, key));
    return {
      lessons,
      startOfClass: play('startOfClass'),
      endOfClass: play('endOfClass'),
      preStartWaitMin: this.integer(t('check.preStartWait', { label }), form.preStartWaitMin, 0, MAX_WAIT_MIN, `${ch}-prestart-wait`),
      preStart: play('preStart'),
      preEndWaitMin: this.integer(t('check.preEndWait', { label }), form.preEndWaitMin, 0, MAX_WAIT_MIN, `${ch}-preend-wait`),
      preEnd: play('preEnd'),
    };
  }

  customPlay(index: number, form: CustomPlayForm, signalIds: Set<string>): UserPlay {
    const label = t('editor.customPlay', { n: index + 1 });
    const field = `custom-${index}`;
    // Saved all the same: "no sound" is what a deleted signal may have been replaced by, and
    // it must never block saving the rest of the timetable.
    if (form.desc.id === NULL_ID) this.warnings.push({ text: t('check.chooseSignal', { label }), field: `${field}-signal` });
    const desc = this.play(label, form.desc, signalIds, field);
    const seen = new Map<number, string>();
    if (form.slots.length === 0) this.errors.push({ text: t('check.addTime', { label }), field });
    form.slots.forEach((slot, j) => {
      const time = parseTime(slot);
      if (!time.ok) {
        this.errors.push({ text: t('check.problem', { label, error: time.error }), field: `${field}-slot-${j}` });
        return;
      }
      const key = secondsOfDay(time.value);
      if (seen.has(key)) this.errors.push({ text: t('check.twice', { label, time: formatTime(time.value) }), field: `${field}-slot-${j}` });
      seen.set(key, formatTime(time.value));
    });
    const slots = [...seen.entries()].sort((a, b) => a[0] - b[0]).map(([, text]) => text);
    return { desc, slots };
  }
}

export type Checked = { ok: true; value: TimeTable; warnings: Problem[] } | { ok: false; errors: Problem[]; warnings: Problem[] };

/**
 * Checks the whole form and builds the timetable to send. Members of the original record that the
 * form does not know are kept, so an older dashboard never drops data a newer player stores.
 */
export function fromForm(form: TimetableForm, original: TimeTable, signalIds: Set<string>): Checked {
  const check = new Checker();
  const name = form.name.trim();
  if (!name) check.errors.push({ text: t('check.name'), field: 'tt-name' });
  const value: TimeTable = {
    ...withoutId(original),
    name,
    chA: { ...original.chA, ...check.channel('chA', t('editor.channelA'), form.chA, signalIds) },
    chB: { ...original.chB, ...check.channel('chB', t('editor.channelB'), form.chB, signalIds) },
    customPlays: form.customPlays.map((p, i) => check.customPlay(i, p, signalIds)),
  };
  return check.errors.length ? { ok: false, errors: check.errors, warnings: check.warnings } : { ok: true, value, warnings: check.warnings };
}
