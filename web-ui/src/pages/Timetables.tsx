import { useState } from 'preact/hooks';
import { ErrorText, Link, Loading, Outcome, Page } from '../components/ui';
import { createTimetable, getTarget, getTimetables, trigger, updateSettings, updateTimetable } from '../lib/api';
import { useAction, useLoad } from '../lib/hooks';
import { navigate } from '../lib/router';
import { defaultTimetable, PLAY_KEYS, PLAY_LABELS, withoutId } from '../lib/timetable';
import type { AudioAsset, CalendarInfo, Settings, TimeTableEntry } from '../lib/types';
import { NULL_ID } from '../lib/types';

/** The bells of channel A and the custom plays whose sound is gone: they ring nothing. */
function silentBells(t: TimeTableEntry, signals: AudioAsset[], missingFiles: string[]): string[] {
  const problem = (id: string | undefined) => {
    if (!id || id === NULL_ID) return undefined;
    const signal = signals.find((s) => s.id === id);
    if (!signal) return 'its signal was deleted';
    return missingFiles.includes(id) ? `the file of "${signal.name}" is missing` : undefined;
  };
  const found: string[] = [];
  for (const key of PLAY_KEYS) {
    const why = problem(t.chA?.[key]?.id);
    if (why) found.push(`${PLAY_LABELS[key]}: ${why}`);
  }
  (t.customPlays ?? []).forEach((p, i) => {
    const why = problem(p.desc?.id);
    if (why) found.push(`custom play ${i + 1}: ${why}`);
  });
  return found;
}

function lessonSummary(t: TimeTableEntry): string {
  const lessons = t.chA?.lessons ?? [];
  if (lessons.length === 0) return 'no lessons';
  const first = lessons[0].split('-')[0].trim();
  const last = lessons[lessons.length - 1].split('-')[1]?.trim() ?? '';
  return `${lessons.length} lesson${lessons.length === 1 ? '' : 's'}, ${first} to ${last}`;
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
      setProblem('Enter a name for the new timetable.');
      return;
    }
    if (props.timetables.some((t) => t.name.trim().toLowerCase() === trimmed.toLowerCase())) {
      setProblem(`There is already a timetable called "${trimmed}". Choose another name.`);
      return;
    }
    setProblem(undefined);
    void action.run(async () => {
      const source = props.timetables.find((t) => t.id === copyFrom);
      const body = source ? { ...withoutId(source), name: trimmed } : defaultTimetable(trimmed);
      const id = await createTimetable(body);
      props.onCreated(id);
    });
  };
  return (
    <form class="card" onSubmit={submit} noValidate>
      <h2>New timetable</h2>
      <div class="row">
        <div class="field">
          <label for="new-name">Name</label>
          <input id="new-name" value={name} onInput={(e) => setName(e.currentTarget.value)} maxLength={80} />
        </div>
        <div class="field">
          <label for="new-copy">Start from</label>
          <select id="new-copy" value={copyFrom} onChange={(e) => setCopyFrom(e.currentTarget.value)}>
            <option value="">Six lessons from 08:00, no signals</option>
            {props.timetables.map((t) => (
              <option key={t.id} value={t.id}>
                A copy of {t.name}
              </option>
            ))}
          </select>
        </div>
      </div>
      <ErrorText error={problem} />
      <button type="submit" class="primary" disabled={action.busy}>
        Create and edit
      </button>
      <Outcome action={action} />
    </form>
  );
}

function TimetableRow(props: {
  t: TimeTableEntry;
  isDefault: boolean;
  silent: string[];
  onChanged: () => Promise<void>;
}) {
  const { t } = props;
  const action = useAction();
  const [renaming, setRenaming] = useState(false);
  const [name, setName] = useState(t.name);
  const [problem, setProblem] = useState<string>();

  const rename = (e: Event) => {
    e.preventDefault();
    action.clear();
    const trimmed = name.trim();
    setProblem(trimmed ? undefined : 'Enter a name.');
    if (!trimmed) return;
    void action.run(async () => {
      await updateTimetable(t.id, { ...withoutId(t), name: trimmed });
      setRenaming(false);
      await props.onChanged();
      return `Renamed to "${trimmed}".`;
    });
  };

  const remove = () => {
    action.clear();
    if (props.isDefault) {
      setProblem(`"${t.name}" is the default timetable. Make another timetable the default before deleting this one.`);
      return;
    }
    setProblem(undefined);
    void action.run(async () => {
      const calendar = await getTarget<CalendarInfo>('calendarInfo');
      const events = [...calendar.singleEvents, ...calendar.reoccurringEvents].filter((e) => e.timeTableId === t.id).length;
      const warning = events
        ? `\n\n${events} calendar event${events === 1 ? ' uses' : 's use'} it; on those days no bells will ring.`
        : '';
      if (!window.confirm(`Delete the timetable "${t.name}"?${warning}`)) return;
      await trigger('deleteTimetable', t.id);
      await props.onChanged();
    });
  };

  const makeDefault = () =>
    action.run(async () => {
      await updateSettings({ defaultTimetableId: t.id });
      await props.onChanged();
      return `"${t.name}" now rings on every school day without a calendar event.`;
    });

  return (
    <li class="card list-item">
      <div class="list-main">
        {renaming ? (
          <form onSubmit={rename} class="row">
            <div class="field">
              <label for={`rename-${t.id}`}>New name</label>
              <input id={`rename-${t.id}`} value={name} onInput={(e) => setName(e.currentTarget.value)} maxLength={80} />
            </div>
            <div class="buttons">
              <button type="submit" class="primary" disabled={action.busy}>
                Save name
              </button>
              <button type="button" onClick={() => setRenaming(false)}>
                Cancel
              </button>
            </div>
          </form>
        ) : (
          <>
            <h2 class="list-title">
              <Link href={`/timetables/${encodeURIComponent(t.id)}`}>{t.name}</Link>
              {props.isDefault ? <span class="badge">Default</span> : null}
            </h2>
            <p class="muted small">{lessonSummary(t)}</p>
            {props.silent.length > 0 && (
              <div class="msg msg-error small" role="status">
                <p>These bells ring nothing:</p>
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
          <Link class="button" href={`/timetables/${encodeURIComponent(t.id)}`} aria-label={`Edit ${t.name}`}>
            Edit
          </Link>
          <button type="button" onClick={() => setRenaming(true)} aria-label={`Rename ${t.name}`}>
            Rename
          </button>
          <Link class="button" href={`/timetables/${encodeURIComponent(t.id)}/print`} aria-label={`Print the bells of ${t.name}`}>
            Print
          </Link>
          {/* Always in place, so that Delete never moves under a finger aimed at this one. */}
          <button
            type="button"
            onClick={makeDefault}
            disabled={action.busy || props.isDefault}
            aria-label={props.isDefault ? `${t.name} is the default` : `Make ${t.name} the default`}
          >
            {props.isDefault ? 'Is the default' : 'Make default'}
          </button>
          <button type="button" class="danger apart" onClick={remove} disabled={action.busy} aria-label={`Delete ${t.name}`}>
            Delete
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
  const defaultId = settings.data?.defaultTimetableId;
  const timetables = list.data ?? [];
  return (
    <Page title="Timetables">
      <p>
        A timetable holds the lessons of a school day and the signals that ring at their start and end. The{' '}
        <strong>default</strong> timetable rings on every school day; the <Link href="/calendar">calendar</Link> can
        choose another one for some days.
      </p>
      <ErrorText error={list.error} />
      <ErrorText error={settings.error} />
      {defaultId && list.data && !timetables.some((t) => t.id === defaultId) ? (
        <p class="msg msg-warn" role="status">
          No default timetable is chosen, so ordinary school days ring nothing. Choose one with "Make default".
        </p>
      ) : null}
      {list.loading && !list.data ? (
        <Loading what="timetables" />
      ) : (
        <ul class="plain-list">
          {timetables.map((t) => (
            <TimetableRow
              key={t.id}
              t={t}
              isDefault={t.id === defaultId}
              silent={signals.data ? silentBells(t, signals.data, missing.data ?? []) : []}
              onChanged={refresh}
            />
          ))}
        </ul>
      )}
      <NewTimetable timetables={timetables} onCreated={(id) => navigate(`/timetables/${encodeURIComponent(id)}`)} />
    </Page>
  );
}
