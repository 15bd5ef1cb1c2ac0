import type { ComponentChildren } from 'preact';
import { useContext, useEffect, useState } from 'preact/hooks';
import { ErrorText, focusField, InvalidFields, Link, Loading, MissingFiles, OkText, Page, Problems, SignalSelect } from '../components/ui';
import { sameSecondBells } from '../lib/bells';
import { getTarget, getTimetables, trigger, updateTimetable } from '../lib/api';
import { messageOf, useLoad } from '../lib/hooks';
import { setLeaveGuard } from '../lib/router';
import { clockText } from '../i18n/format';
import { formatTime, lessonText, parseTime, secondsOfDay, sortLessons } from '../lib/time';
import {
  fromForm,
  MAX_DELAY_SEC,
  MAX_ITERATIONS,
  MAX_WAIT_MIN,
  playInText,
  playLabel,
  toForm,
  withoutId,
  type ChannelForm,
  type PlayForm,
  type PlayKey,
  type Problem,
  type TimetableForm,
} from '../lib/timetable';
import type { AudioAsset, TimeTableEntry } from '../lib/types';
import { NULL_ID } from '../lib/types';
import { rich, t } from '../i18n';

type Update = (change: (draft: TimetableForm) => void) => void;

function PlayEditor(props: {
  id: string;
  legend: string;
  /** The bell's kind inside a sentence, for the test button's name. */
  inText: string;
  play: PlayForm;
  signals: AudioAsset[];
  onChange: (change: (p: PlayForm) => void) => void;
  children?: ComponentChildren;
}) {
  const { id, play } = props;
  const [testError, setTestError] = useState<string>();
  const test = async () => {
    setTestError(undefined);
    try {
      await trigger('playSignal', play.id);
    } catch (e) {
      setTestError(messageOf(e));
    }
  };
  return (
    <fieldset class="play">
      <legend>{props.legend}</legend>
      {props.children}
      <div class="row">
        <SignalSelect
          id={`${id}-signal`}
          label={t('editor.signal')}
          value={play.id}
          signals={props.signals}
          onChange={(v) => props.onChange((p) => (p.id = v))}
        />
        <button type="button" class="small-button" disabled={play.id === NULL_ID} onClick={test} aria-label={t('editor.testNamed', { what: props.inText })}>
          {t('editor.test')}
        </button>
      </div>
      <div class="field-inline">
        <input
          id={`${id}-repeat`}
          type="checkbox"
          checked={play.doRepeat}
          onChange={(e) => {
            const on = e.currentTarget.checked;
            props.onChange((p) => (p.doRepeat = on));
          }}
        />
        <label for={`${id}-repeat`}>{t('editor.repeat')}</label>
      </div>
      {play.doRepeat && (
        <div class="row">
          <NumberField
            id={`${id}-iterations`}
            label={t('editor.iterations')}
            min={1}
            max={MAX_ITERATIONS}
            step={1}
            value={play.iterations}
            onInput={(v) => props.onChange((p) => (p.iterations = v))}
          />
          <NumberField
            id={`${id}-delay`}
            label={t('editor.pause')}
            min={0}
            max={MAX_DELAY_SEC}
            step={0.5}
            decimal
            value={play.delaySec}
            onInput={(v) => props.onChange((p) => (p.delaySec = v))}
          />
        </div>
      )}
      <ErrorText error={testError} />
    </fieldset>
  );
}

function TimeInput(props: { id: string; label: string; value: string; onInput: (v: string) => void; hideLabel?: boolean; describedBy?: string; invalid?: boolean }) {
  const marked = useContext(InvalidFields).has(props.id);
  return (
    <div class="field time-field">
      <label for={props.id} class={props.hideLabel ? 'visually-hidden' : undefined}>
        {props.label}
      </label>
      <input
        id={props.id}
        type="text"
        inputMode="numeric"
        autoComplete="off"
        placeholder="08:00"
        size={8}
        value={props.value}
        aria-invalid={props.invalid || marked ? true : undefined}
        aria-describedby={props.describedBy}
        onInput={(e) => props.onInput(e.currentTarget.value)}
      />
    </div>
  );
}

/** The next lesson: a 15-minute break after the last one, then 45 minutes. */
function NumberField(props: {
  id: string;
  label: string;
  value: string;
  min: number;
  max: number;
  step?: number;
  decimal?: boolean;
  onInput: (v: string) => void;
}) {
  const marked = useContext(InvalidFields).has(props.id);
  return (
    <div class="field">
      <label for={props.id}>{props.label}</label>
      <input
        id={props.id}
        aria-invalid={marked ? true : undefined}
        type="number"
        inputMode={props.decimal ? 'decimal' : 'numeric'}
        min={props.min}
        max={props.max}
        step={props.step}
        value={props.value}
        onInput={(e) => props.onInput(e.currentTarget.value)}
      />
    </div>
  );
}

function nextLesson(ch: ChannelForm) {
  const last = ch.lessons[ch.lessons.length - 1];
  const end = last ? parseTime(last.end) : undefined;
  const startSec = end?.ok ? secondsOfDay(end.value) + 15 * 60 : 8 * 3600;
  const at = (sec: number) => {
    const s = Math.min(sec, 24 * 3600 - 60);
    return formatTime({ h: Math.floor(s / 3600), m: Math.floor((s % 3600) / 60), s: 0 });
  };
  return { start: at(startSec), end: at(startSec + 45 * 60) };
}

/**
 * The first lesson that does not read, on a line kept for it under the list: an error that
 * comes while typing never moves the next lesson.
 */
function LessonProblem(props: { ch: string; form: ChannelForm }) {
  const problem = props.form.lessons.map((l, i) => ({ n: i + 1, check: lessonText(l.start, l.end) })).find((x) => !x.check.ok);
  return (
    <p id={`${props.ch}-lessons-error`} class="field-error reserved" aria-live="polite">
      {problem && !problem.check.ok ? t('editor.lessonProblem', { n: problem.n, error: problem.check.error }) : ''}
    </p>
  );
}

function ChannelEditor(props: { ch: 'chA' | 'chB'; form: ChannelForm; signals: AudioAsset[]; update: Update }) {
  const { ch, form, update } = props;
  const name = ch === 'chA' ? 'A' : 'B';
  const play = (key: PlayKey) => (change: (p: PlayForm) => void) => update((d) => change(d[ch][key]));
  return (
    <div class="channel">
      <fieldset>
        <legend>{t('editor.lessons')}</legend>
        <p class="muted small">{t('editor.timesHint')}</p>
        {form.lessons.length > 0 && (
          <div class="lesson-head" aria-hidden="true">
            <span />
            <span>{t('editor.start')}</span>
            <span>{t('editor.end')}</span>
          </div>
        )}
        <ol class="lessons">
          {form.lessons.map((l, i) => {
            const check = lessonText(l.start, l.end);
            const errorId = `${ch}-lessons-error`;
            return (
              <li key={i} class="lesson">
                <span class="lesson-no" aria-hidden="true">
                  {i + 1}.
                </span>
                <TimeInput
                  id={`${ch}-lesson-${i}-start`}
                  label={t('editor.lessonStart', { n: i + 1 })}
                  hideLabel
                  value={l.start}
                  invalid={!check.ok}
                  describedBy={check.ok ? undefined : errorId}
                  onInput={(v) => update((d) => (d[ch].lessons[i].start = v))}
                />
                <span aria-hidden="true">–</span>
                <TimeInput
                  id={`${ch}-lesson-${i}-end`}
                  label={t('editor.lessonEnd', { n: i + 1 })}
                  hideLabel
                  value={l.end}
                  invalid={!check.ok}
                  describedBy={check.ok ? undefined : errorId}
                  onInput={(v) => update((d) => (d[ch].lessons[i].end = v))}
                />
                <button
                  type="button"
                  class="small-button danger"
                  aria-label={t('editor.removeLesson', { n: i + 1 })}
                  onClick={() => {
                    // A lesson with times carries bells: removing it by a stray tap must be confirmed.
                    const times = [l.start.trim(), l.end.trim()].filter(Boolean).join(' – ');
                    if (times && !window.confirm(t('editor.removeLessonConfirm', { n: i + 1, times }))) return;
                    update((d) => d[ch].lessons.splice(i, 1));
                  }}
                >
                  <span aria-hidden="true" class="x">
                    ✕
                  </span>
                  <span class="btn-text">{t('common.remove')}</span>
                </button>
              </li>
            );
          })}
        </ol>
        <LessonProblem ch={ch} form={form} />
        {form.lessons.length === 0 && <p class="muted">{t('editor.noLessons')}</p>}
        <div class="buttons">
          <button type="button" onClick={() => update((d) => d[ch].lessons.push(nextLesson(d[ch])))}>
            {t('editor.addLesson')}
          </button>
          <button type="button" onClick={() => update((d) => (d[ch].lessons = sortLessons(d[ch].lessons)))}>
            {t('editor.sort')}
          </button>
        </div>
      </fieldset>
      <div class="plays">
        <PlayEditor id={`${ch}-prestart`} legend={playLabel('preStart')} inText={playInText('preStart')} play={form.preStart} signals={props.signals} onChange={play('preStart')}>
          <NumberField
            id={`${ch}-prestart-wait`}
            label={t('editor.minutesBeforeStart', { channel: name })}
            min={0}
            max={MAX_WAIT_MIN}
            value={form.preStartWaitMin}
            onInput={(v) => update((d) => (d[ch].preStartWaitMin = v))}
          />
        </PlayEditor>
        <PlayEditor id={`${ch}-start`} legend={playLabel('startOfClass')} inText={playInText('startOfClass')} play={form.startOfClass} signals={props.signals} onChange={play('startOfClass')} />
        <PlayEditor id={`${ch}-preend`} legend={playLabel('preEnd')} inText={playInText('preEnd')} play={form.preEnd} signals={props.signals} onChange={play('preEnd')}>
          <NumberField
            id={`${ch}-preend-wait`}
            label={t('editor.minutesBeforeEnd', { channel: name })}
            min={0}
            max={MAX_WAIT_MIN}
            value={form.preEndWaitMin}
            onInput={(v) => update((d) => (d[ch].preEndWaitMin = v))}
          />
        </PlayEditor>
        <PlayEditor id={`${ch}-end`} legend={playLabel('endOfClass')} inText={playInText('endOfClass')} play={form.endOfClass} signals={props.signals} onChange={play('endOfClass')} />
      </div>
    </div>
  );
}

function CustomPlays(props: { form: TimetableForm; signals: AudioAsset[]; update: Update }) {
  const { form, update } = props;
  return (
    <section class="card" aria-labelledby="custom-title">
      <h2 id="custom-title">{t('editor.customTitle')}</h2>
      <p class="muted small">{t('editor.customIntro')}</p>
      {form.customPlays.map((p, i) => (
        <div key={i} class="custom-play">
          <PlayEditor
            id={`custom-${i}`}
            legend={t('editor.customPlay', { n: i + 1 })}
            inText={t('editor.customPlay', { n: i + 1 })}
            play={p.desc}
            signals={props.signals}
            onChange={(change) => update((d) => change(d.customPlays[i].desc))}
          >
            <ul class="slots">
              {p.slots.map((slot, j) => {
                const check = parseTime(slot);
                const errorId = `custom-${i}-slots-error`;
                return (
                  <li key={j} class="lesson">
                    <TimeInput
                      id={`custom-${i}-slot-${j}`}
                      label={t('editor.customTime', { n: i + 1, m: j + 1 })}
                      value={slot}
                      invalid={!check.ok}
                      describedBy={check.ok ? undefined : errorId}
                      onInput={(v) => update((d) => (d.customPlays[i].slots[j] = v))}
                    />
                    <button
                      type="button"
                      class="small-button danger"
                      aria-label={t('editor.removeTime', { n: i + 1, m: j + 1 })}
                      onClick={() => update((d) => d.customPlays[i].slots.splice(j, 1))}
                    >
                      {t('common.remove')}
                    </button>
                  </li>
                );
              })}
            </ul>
            <p id={`custom-${i}-slots-error`} class="field-error reserved" aria-live="polite">
              {p.slots.map((slot) => parseTime(slot)).find((c) => !c.ok)?.error ?? ''}
            </p>
            <button type="button" onClick={() => update((d) => d.customPlays[i].slots.push('12:00'))}>
              {t('editor.addTime')}
            </button>
          </PlayEditor>
          <button
            type="button"
            class="danger"
            onClick={() => {
              if (p.desc.id !== NULL_ID && p.slots.length > 0 && !window.confirm(t('editor.removeCustomConfirm', { n: i + 1, count: p.slots.length }))) return;
              update((d) => d.customPlays.splice(i, 1));
            }}
          >
            {t('editor.removeCustom', { n: i + 1 })}
          </button>
        </div>
      ))}
      <button
        type="button"
        onClick={() =>
          update((d) =>
            d.customPlays.push({ desc: { id: NULL_ID, doRepeat: false, iterations: '2', delaySec: '1' }, slots: ['12:00'] }),
          )
        }
      >
        {t('editor.addCustom')}
      </button>
    </section>
  );
}

/** Bells of channel A and the extra bells that fall in the same second play over each other. */
function SameSecond(props: { form: TimetableForm; original?: TimeTableEntry; signals: AudioAsset[] }) {
  if (!props.original) return null;
  // Read leniently: what does not read yet is left out, not refused.
  const checked = fromForm(props.form, withoutId(props.original), new Set(props.signals.map((s) => s.id)));
  const clashes = checked.ok ? sameSecondBells(checked.value) : [];
  if (clashes.length === 0) return null;
  return (
    <div class="msg msg-warn" role="status">
      <p>{t('editor.sameSecond')}</p>
      <ul>
        {clashes.map((group) => (
          <li key={group[0].seconds}>{t('editor.sameSecondAt', { time: clockText(group[0].seconds), bells: group.map((b) => b.what).join(' + ') })}</li>
        ))}
      </ul>
    </div>
  );
}

export function TimetableEditor(props: { id: string }) {
  const timetables = useLoad(getTimetables, [props.id]);
  const signals = useLoad(() => getTarget<AudioAsset[]>('signals'));
  const missing = useLoad(() => getTarget<string[]>('missingAudioFiles').catch((): string[] => []));
  const [form, setForm] = useState<TimetableForm>();
  const [original, setOriginal] = useState<TimeTableEntry>();
  const [dirty, setDirty] = useState(false);
  const [errors, setErrors] = useState<Problem[]>([]);
  const [warnings, setWarnings] = useState<Problem[]>([]);
  const [saveError, setSaveError] = useState<string>();
  const [saved, setSaved] = useState<string>();
  const [busy, setBusy] = useState(false);

  const entry = timetables.data?.find((t) => t.id === props.id);
  useEffect(() => {
    if (entry && !dirty) {
      setOriginal(entry);
      setForm(toForm(entry));
    }
    // eslint-disable-next-line react-hooks/exhaustive-deps
  }, [entry]);

  useEffect(() => {
    if (!dirty) return;
    const warn = (e: BeforeUnloadEvent) => e.preventDefault();
    window.addEventListener('beforeunload', warn);
    setLeaveGuard(() => window.confirm(t('editor.leaveConfirm')));
    return () => {
      window.removeEventListener('beforeunload', warn);
      setLeaveGuard(undefined);
    };
  }, [dirty]);

  const update: Update = (change) => {
    setForm((f) => {
      if (!f) return f;
      const next = structuredClone(f);
      change(next);
      return next;
    });
    setDirty(true);
    setSaved(undefined);
  };

  const save = async (e: Event) => {
    e.preventDefault();
    if (!form || !original || !signals.data) return;
    const result = fromForm(form, withoutId(original), new Set(signals.data.map((s) => s.id)));
    setSaveError(undefined);
    setSaved(undefined);
    setWarnings(result.warnings);
    if (!result.ok) {
      setErrors(result.errors);
      // Straight to the first thing to fix, marked; the list under the form leads to the others.
      setTimeout(() => focusField(result.errors[0].field));
      return;
    }
    setErrors([]);
    setBusy(true);
    try {
      await updateTimetable(props.id, result.value);
      setDirty(false);
      setOriginal({ ...result.value, id: props.id });
      setForm(toForm(result.value));
      setSaved(t('editor.saved'));
    } catch (err) {
      setSaveError(messageOf(err));
    } finally {
      setBusy(false);
    }
  };

  const title = form ? t('editor.title', { name: form.name || t('editor.unnamed') }) : t('editor.titleBare');
  if (timetables.data && !entry) {
    return (
      <Page title={t('editor.notFound')}>
        <p class="msg msg-error" role="alert">
          {rich('editor.noSuchId', { id: props.id, link: (words) => <Link href="/timetables">{words}</Link> })}
        </p>
      </Page>
    );
  }
  return (
    <Page
      title={title}
      actions={
        <div class="buttons">
          <Link href={`/timetables/${encodeURIComponent(props.id)}/print`}>{t('editor.printable')}</Link>
          <Link href="/timetables">{t('editor.all')}</Link>
        </div>
      }
    >
      <ErrorText error={timetables.error} />
      <ErrorText error={signals.error} />
      {!form || !signals.data ? (
        <Loading text={t('loading.timetable')} />
      ) : (
        <MissingFiles.Provider value={missing.data ?? []}>
        <InvalidFields.Provider value={new Set(errors.map((e) => e.field ?? ''))}>
        <form onSubmit={save} noValidate>
          <div class="card">
            <div class="field">
              <label for="tt-name">{t('common.name')}</label>
              <input id="tt-name" value={form.name} maxLength={80} onInput={(e) => {
                const v = e.currentTarget.value;
                update((d) => (d.name = v));
              }} />
            </div>
          </div>
          <section class="card" aria-labelledby="cha-title">
            <h2 id="cha-title">{t('editor.channelA')}</h2>
            <ChannelEditor ch="chA" form={form.chA} signals={signals.data} update={update} />
          </section>
          <details class="card">
            <summary>
              <h2 class="inline-heading">{t('editor.channelB')}</h2> <span class="muted small">{t('editor.secondChannel')}</span>
            </summary>
            <p class="msg msg-warn">{t('editor.channelBNote')}</p>
            <ChannelEditor ch="chB" form={form.chB} signals={signals.data} update={update} />
          </details>
          <CustomPlays form={form} signals={signals.data} update={update} />
          <SameSecond form={form} original={original} signals={signals.data} />
          <Problems errors={errors} />
          <Problems errors={warnings} warn title={t('editor.warnings')} />
          <div class="save-bar">
            <ErrorText error={saveError} />
            <OkText text={saved} />
            <button type="submit" class="primary" disabled={busy}>
              {busy ? t('common.saving') : t('editor.save')}
            </button>
            {dirty && <span class="muted small"> {t('editor.unsaved')}</span>}
          </div>
        </form>
        </InvalidFields.Provider>
        </MissingFiles.Provider>
      )}
    </Page>
  );
}
