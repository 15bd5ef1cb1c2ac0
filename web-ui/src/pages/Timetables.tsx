import { useState } from 'preact/hooks';
import { ErrorText, Link, Loading, Outcome, Page } from '../components/ui';
import { createTimetable, getTarget, getTimetables, trigger, updateSettings, updateTimetable } from '../lib/api';
import { useAction, useLoad } from '../lib/hooks';
import { changedPart, useLiveEvents } from '../lib/live';
import { navigate } from '../lib/router';
import { defaultTimetable, PLAY_KEYS, playLabel, withoutId } from '../lib/timetable';
import { rich, t } from '../i18n';
import { timeText } from '../i18n/format';
import type { AudioAsset, CalendarInfo, Settings, TimeTableEntry } from '../lib/types';
import { NULL_ID } from '../lib/types';

/** The bells of channel A and the custom plays whose sound is gone: they ring nothing. */
function silentBells(tt: TimeTableEntry, signals: AudioAsset[], missingFiles: string[]): string[] {
  const problem = (id: string | undefined) => {
    if (!id || id === NULL_ID) return undefined;
    const signal = signals.find((s) => s.id === id);
    if (!signal) return t('timetables.signalDeleted');
    return missingFiles.includes(id) ? t('timetables.fileMissing', { name: signal.name }) : undefined;
  };
  const found: string[] = [];
  for (const key of PLAY_KEYS) {
    const why = problem(tt.chA?.[key]?.id);
    if (why) found.push(t('timetables.silentBell', { what: playLabel(key), why }));
  }
  (tt.customPlays ?? []).forEach((p, i) => {
    const why = problem(p.desc?.id);
    if (why) found.push(t('timetables.silentBell', { what: t('bells.custom', { n: i + 1 }), why }));
  });
  return found;
}

function lessonSummary(tt: TimeTableEntry): string {
  const lessons = tt.chA?.lessons ?? [];
  if (lessons.length === 0) return t('timetables.noLessons');
  const first = timeText(lessons[0].split('-')[0].trim());
  const last = timeText(lessons[lessons.length - 1].split('-')[1]?.trim() ?? '');
  return t('timetables.lessons', { count: lessons.length, first, last });
}

function NewTimetable(props: { timetables: TimeTableEntry[]; onCreated: (id: string) => void }) {
  const [name, setName] = useState('');
  const [copyFrom, setCopyFrom] = useState('');
  const [problem, setProblem] = useState<string>();
  const action = useAction();
  const submit = (e: Event) => {
    e.preventDefault();
    action.clear();
    const trimmed = name.trim();
    if (!trimmed) {
      setProblem(t('timetables.enterNewName'));
      return;
    }
    if (props.timetables.some((tt) => tt.name.trim().toLowerCase() === trimmed.toLowerCase())) {
      setProblem(t('timetables.nameTaken', { name: trimmed }));
      return;
    }
    setProblem(undefined);
    void action.run(async () => {
      const source = props.timetables.find((tt) => tt.id === copyFrom);
      const body = source ? { ...withoutId(source), name: trimmed } : defaultTimetable(trimmed);
      const id = await createTimetable(body);
      props.onCreated(id);
    });
  };
  return (
    <form class="card" onSubmit={submit} noValidate>
      <h2>{t('timetables.new')}</h2>
      <div class="row">
        <div class="field">
          <label for="new-name">{t('common.name')}</label>
          <input id="new-name" value={name} onInput={(e) => setName(e.currentTarget.value)} maxLength={80} />
        </div>
        <div class="field">
          <label for="new-copy">{t('timetables.startFrom')}</label>
          <select id="new-copy" value={copyFrom} onChange={(e) => setCopyFrom(e.currentTarget.value)}>
            <option value="">{t('timetables.blank')}</option>
            {props.timetables.map((tt) => (
              <option key={tt.id} value={tt.id}>
                {t('timetables.copyOf', { name: tt.name })}
              </option>
            ))}
          </select>
        </div>
      </div>
      <ErrorText error={problem} />
      <button type="submit" class="primary" disabled={action.busy}>
        {t('timetables.create')}
      </button>
      <Outcome action={action} />
    </form>
  );
}

function TimetableRow(props: {
  timetable: TimeTableEntry;
  isDefault: boolean;
  silent: string[];
  onChanged: () => Promise<void>;
}) {
  const { timetable: tt } = props;
  const action = useAction();
  const [renaming, setRenaming] = useState(false);
  const [name, setName] = useState(tt.name);
  const [problem, setProblem] = useState<string>();

  const rename = (e: Event) => {
    e.preventDefault();
    action.clear();
    const trimmed = name.trim();
    setProblem(trimmed ? undefined : t('timetables.enterName'));
    if (!trimmed) return;
    void action.run(async () => {
      await updateTimetable(tt.id, { ...withoutId(tt), name: trimmed });
      setRenaming(false);
      await props.onChanged();
      return t('timetables.renamed', { name: trimmed });
    });
  };

  const remove = () => {
    action.clear();
    if (props.isDefault) {
      setProblem(t('timetables.isDefaultCannotDelete', { name: tt.name }));
      return;
    }
    setProblem(undefined);
    void action.run(async () => {
      const calendar = await getTarget<CalendarInfo>('calendarInfo');
      const events = [...calendar.singleEvents, ...calendar.reoccurringEvents].filter((e) => e.timeTableId === tt.id).length;
      const warning = events ? `\n\n${t('timetables.eventsUseIt', { count: events })}` : '';
      if (!window.confirm(`${t('timetables.deleteConfirm', { name: tt.name })}${warning}`)) return;
      await trigger('deleteTimetable', tt.id);
      await props.onChanged();
    });
  };

  const makeDefault = () =>
    action.run(async () => {
      await updateSettings({ defaultTimetableId: tt.id });
      await props.onChanged();
      return t('timetables.nowDefault', { name: tt.name });
    });

  return (
    <li class="card list-item">
      <div class="list-main">
        {renaming ? (
          <form onSubmit={rename} class="row">
            <div class="field">
              <label for={`rename-${tt.id}`}>{t('timetables.newName')}</label>
              <input id={`rename-${tt.id}`} value={name} onInput={(e) => setName(e.currentTarget.value)} maxLength={80} />
            </div>
            <div class="buttons">
              <button type="submit" class="primary" disabled={action.busy}>
                {t('timetables.saveName')}
              </button>
              <button type="button" onClick={() => setRenaming(false)}>
                {t('common.cancel')}
              </button>
            </div>
          </form>
        ) : (
          <>
            <h2 class="list-title">
              <Link href={`/timetables/${encodeURIComponent(tt.id)}`}>{tt.name}</Link>
              {props.isDefault ? <span class="badge">{t('timetables.defaultBadge')}</span> : null}
            </h2>
            <p class="muted small">{lessonSummary(tt)}</p>
            {props.silent.length > 0 && (
              <div class="msg msg-error small" role="status">
                <p>{t('timetables.ringNothing')}</p>
                <ul>
                  {props.silent.map((s) => (
                    <li key={s}>{s}</li>
                  ))}
                </ul>
              </div>
            )}
          </>
        )}
      </div>
      {!renaming && (
        <div class="buttons">
          <Link class="button" href={`/timetables/${encodeURIComponent(tt.id)}`} aria-label={t('timetables.editNamed', { name: tt.name })}>
            {t('common.edit')}
          </Link>
          <button type="button" onClick={() => setRenaming(true)} aria-label={t('timetables.renameNamed', { name: tt.name })}>
            {t('timetables.rename')}
          </button>
          <Link class="button" href={`/timetables/${encodeURIComponent(tt.id)}/print`} aria-label={t('timetables.printNamed', { name: tt.name })}>
            {t('common.print')}
          </Link>
          {/* Always in place, so that Delete never moves under a finger aimed at this one. */}
          <button
            type="button"
            onClick={makeDefault}
            disabled={action.busy || props.isDefault}
            aria-label={props.isDefault ? t('timetables.isDefaultNamed', { name: tt.name }) : t('timetables.makeDefaultNamed', { name: tt.name })}
          >
            {props.isDefault ? t('timetables.isDefault') : t('timetables.makeDefault')}
          </button>
          <button type="button" class="danger apart" onClick={remove} disabled={action.busy} aria-label={t('common.deleteNamed', { name: tt.name })}>
            {t('common.delete')}
          </button>
        </div>
      )}
      <div aria-live="polite">
        <ErrorText error={problem} />
      </div>
      <Outcome action={action} />
    </li>
  );
}

export function TimetablesPage() {
  const list = useLoad(getTimetables);
  const settings = useLoad(() => getTarget<Settings>('settings'));
  const signals = useLoad(() => getTarget<AudioAsset[]>('signals'));
  const missing = useLoad(() => getTarget<string[]>('missingAudioFiles').catch((): string[] => []));
  const refresh = async () => {
    await Promise.all([list.reload(), settings.reload()]);
  };
  // Another screen's change shows here too.
  useLiveEvents(['database'], (name, data) => {
    const part = changedPart(data);
    if (name === 'reconnected' || part === 'timetables' || part === 'settings') void refresh();
  });
  const defaultId = settings.data?.defaultTimetableId;
  const timetables = list.data ?? [];
  return (
    <Page title={t('timetables.title')}>
      <p>
        {rich('timetables.intro', { b: (words) => <strong>{words}</strong>, link: (words) => <Link href="/calendar">{words}</Link> })}
      </p>
      <ErrorText error={list.error} />
      <ErrorText error={settings.error} />
      {defaultId && list.data && !timetables.some((tt) => tt.id === defaultId) ? (
        <p class="msg msg-warn" role="status">
          {t('timetables.noDefault')}
        </p>
      ) : null}
      {list.loading && !list.data ? (
        <Loading text={t('loading.timetables')} />
      ) : (
        <ul class="plain-list">
          {timetables.map((tt) => (
            <TimetableRow
              key={tt.id}
              timetable={tt}
              isDefault={tt.id === defaultId}
              silent={signals.data ? silentBells(tt, signals.data, missing.data ?? []) : []}
              onChanged={refresh}
            />
          ))}
        </ul>
      )}
      <NewTimetable timetables={timetables} onCreated={(id) => navigate(`/timetables/${encodeURIComponent(id)}`)} />
    </Page>
  );
}
