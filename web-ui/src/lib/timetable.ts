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

class Checker {
  errors: string[] = [];

  integer(label: string, text: string, min: number, max: number): number {
    if (!INTEGER.test(text) || Number(text) < min || Number(text) > max) {
      this.errors.push(t('check.wholeNumber', { label, min, max }));
      return min;
    }
    return Number(text);
  }

  decimal(label: string, text: string, min: number, max: number): number {
    if (!DECIMAL.test(text) || Number(text) < min || Number(text) > max) {
      this.errors.push(t('check.seconds', { label, min, max }));
      return min;
    }
    return Number(text);
  }

  play(label: string, form: PlayForm, signalIds: Set<string>): PlayDesc {
    if (form.id !== NULL_ID && !signalIds.has(form.id)) {
      this.errors.push(t('check.signalGone', { label }));
    }
    return {
      id: form.id,
      doRepeat: form.doRepeat,
      iterations: this.integer(t('check.iterations', { label }), form.iterations, 1, MAX_ITERATIONS),
      delaySec: this.decimal(t('check.pause', { label }), form.delaySec, 0, MAX_DELAY_SEC),
    };
  }

  channel(label: string, form: ChannelForm, signalIds: Set<string>): SignalTable {
    const lessons: string[] = [];
    let previous: { text: string; end: number } | undefined;
    form.lessons.forEach((l, i) => {
      const text = lessonText(l.start, l.end);
      if (!text.ok) {
        this.errors.push(t('check.lesson', { label, n: i + 1, error: text.error }));
        return;
      }
      const start = parseTime(l.start);
      const end = parseTime(l.end);
      if (start.ok && end.ok) {
        if (previous && secondsOfDay(start.value) < previous.end) {
          this.errors.push(t('check.overlap', { label, n: i + 1, text: text.value, previous: i, previousText: previous.text }));
        }
        previous = { text: text.value, end: secondsOfDay(end.value) };
      }
      lessons.push(text.value);
    });
    return {
      lessons,
      startOfClass: this.play(t('check.play', { label, play: playInText('startOfClass') }), form.startOfClass, signalIds),
      endOfClass: this.play(t('check.play', { label, play: playInText('endOfClass') }), form.endOfClass, signalIds),
      preStartWaitMin: this.integer(t('check.preStartWait', { label }), form.preStartWaitMin, 0, MAX_WAIT_MIN),
      preStart: this.play(t('check.play', { label, play: playInText('preStart') }), form.preStart, signalIds),
      preEndWaitMin: this.integer(t('check.preEndWait', { label }), form.preEndWaitMin, 0, MAX_WAIT_MIN),
      preEnd: this.play(t('check.play', { label, play: playInText('preEnd') }), form.preEnd, signalIds),
    };
  }

  customPlay(index: number, form: CustomPlayForm, signalIds: Set<string>): UserPlay {
    const label = t('editor.customPlay', { n: index + 1 });
    if (form.desc.id === NULL_ID) this.errors.push(t('check.chooseSignal', { label }));
    const desc = this.play(label, form.desc, signalIds);
    const seen = new Map<number, string>();
    if (form.slots.length === 0) this.errors.push(t('check.addTime', { label }));
    for (const slot of form.slots) {
      const time = parseTime(slot);
      if (!time.ok) {
        this.errors.push(t('check.problem', { label, error: time.error }));
        continue;
      }
      const key = secondsOfDay(time.value);
      if (seen.has(key)) this.errors.push(t('check.twice', { label, time: formatTime(time.value) }));
      seen.set(key, formatTime(time.value));
    }
    const slots = [...seen.entries()].sort((a, b) => a[0] - b[0]).map(([, text]) => text);
    return { desc, slots };
  }
}

/**
 * Checks the whole form and builds the timetable to send. Members of the original record that the
 * form does not know are kept, so an older dashboard never drops data a newer player stores.
 */
export function fromForm(
  form: TimetableForm,
  original: TimeTable,
  signalIds: Set<string>,
): { ok: true; value: TimeTable } | { ok: false; errors: string[] } {
  const check = new Checker();
  const name = form.name.trim();
  if (!name) check.errors.push(t('check.name'));
  const value: TimeTable = {
    ...withoutId(original),
    name,
    chA: { ...original.chA, ...check.channel(t('editor.channelA'), form.chA, signalIds) },
    chB: { ...original.chB, ...check.channel(t('editor.channelB'), form.chB, signalIds) },
    customPlays: form.customPlays.map((p, i) => check.customPlay(i, p, signalIds)),
  };
  return check.errors.length ? { ok: false, errors: check.errors } : { ok: true, value };
}
