import { useEffect, useRef, useState } from 'preact/hooks';
import { ConfirmDialog, ErrorText, Loading, Outcome, Page, ProgressBar } from '../components/ui';
import { getDb, getTarget, signalFileUrl, trigger, upload } from '../lib/api';
import { notifyChanged } from '../lib/playerState';
import { useAction, useLoad, type Action } from '../lib/hooks';
import { changedPart, useLiveEvents } from '../lib/live';
import { checkDay, dateText, isPast, normalizeTime } from '../lib/time';
import { PLAY_KEYS, playInText } from '../lib/timetable';
import { t } from '../i18n';
import { dateTimeText, listText } from '../i18n/format';
import { checkUploadFile, extensionOf, formatLength, formatSize, MAX_UPLOAD_BYTES, UPLOAD_ACCEPT } from '../lib/upload';
import type { AudioAsset, Info, ProgrammeInfo, Status, TimeTable } from '../lib/types';
import { AssetCategory } from '../lib/types';
import { SpeakForm } from './Speak';

/**
 * Where a signal rings, so that deleting it never silently mutes a bell: `protectedBy` names the
 * setting that keeps it (the player refuses to delete it), `uses` the places that would fall
 * silent. Channel B is left out: it is stored but never rings.
 */
async function usesOf(id: string): Promise<{ protectedBy?: 'alarm' | 'leadIn'; uses: string[] }> {
  const db = (await getDb()) as {
    settings?: { alarmSignalId?: string; announcementSignalId?: string };
    timetables?: Record<string, TimeTable>;
    programmes?: Record<string, { songId?: string; date?: unknown; time?: unknown }>;
  };
  if (db.settings?.alarmSignalId === id) return { protectedBy: 'alarm', uses: [] };
  if (db.settings?.announcementSignalId === id) return { protectedBy: 'leadIn', uses: [] };
  const uses: string[] = [];
  for (const tt of Object.values(db.timetables ?? {})) {
    const kinds = PLAY_KEYS.filter((k) => tt.chA?.[k]?.id === id).map(playInText);
    if (kinds.length > 0) uses.push(t('signals.useTimetable', { name: tt.name, what: listText(kinds) }));
    (tt.customPlays ?? []).forEach((p, i) => {
      if (p.desc?.id === id) uses.push(t('signals.useCustom', { name: tt.name, n: i + 1 }));
    });
  }
  for (const p of Object.values(db.programmes ?? {})) {
    if (p.songId === id) uses.push(t('signals.useProgramme', { when: dateTimeText(`${dateText(p.date)} ${String(p.time ?? '')}`) }));
  }
  return { uses };
}

const NO_SOUND = 'NULL';

/** Asks what rings instead of a signal in use, listing where it rings; "" until chosen. */
function ReplaceDialog(props: {
  asked?: { signal: AudioAsset; uses: string[] };
  signals: AudioAsset[];
  onConfirm: (replaceWith: string) => void;
  onCancel: () => void;
}) {
  const [choice, setChoice] = useState('');
  const [problem, setProblem] = useState<string>();
  const { asked } = props;
  useEffect(() => {
    setChoice('');
    setProblem(undefined);
  }, [asked]);
  const others = props.signals.filter((s) => s.id !== asked?.signal.id);
  return (
    <ConfirmDialog
      open={asked !== undefined}
      title={asked ? t('signals.deleteConfirm', { name: asked.signal.name }) : ''}
      confirmLabel={t('signals.deleteAndReplace')}
      danger
      onCancel={props.onCancel}
      onConfirm={() => {
        if (!choice) {
          setProblem(t('signals.chooseReplacement'));
          document.getElementById('replace-with')?.focus();
          return;
        }
        props.onConfirm(choice);
      }}
    >
      {asked && (
        <>
          <p>{t('signals.ringsIn', { count: asked.uses.length })}</p>
          <ul class="places">
            {asked.uses.map((u) => (
              <li key={u}>{u}</li>
            ))}
          </ul>
          <div class="field">
            <label for="replace-with">{t('signals.replaceWith')}</label>
            <select
              id="replace-with"
              value={choice}
              aria-invalid={problem ? true : undefined}
              aria-describedby="replace-problem"
              onChange={(e) => {
                setChoice(e.currentTarget.value);
                setProblem(undefined);
              }}
            >
              <option value="">{t('signals.chooseOne')}</option>
              {others.map((s) => (
                <option key={s.id} value={s.id}>
                  {s.name}
                </option>
              ))}
              <option value={NO_SOUND}>{t('signals.noSound')}</option>
            </select>
            <p id="replace-problem" class="field-error reserved" role="alert">
              {problem ?? ''}
            </p>
          </div>
        </>
      )}
    </ConfirmDialog>
  );
}

/** Refuses a play time that has already passed on the player's clock: it would never ring. */
async function refusePast(date: string, time: string): Promise<void> {
  const [status, info] = await Promise.all([getTarget<Status>('status'), getTarget<ProgrammeInfo>('programmeInfo')]);
  if (isPast(date, time, info.date, status.time)) {
    throw new Error(t('signals.past', { when: dateTimeText(`${date} ${time}`), now: dateTimeText(`${info.date} ${status.time}`) }));
  }
}

function downloadName(a: { name: string; filename: string }) {
  const ext = extensionOf(a.filename);
  return ext ? `${a.name}.${ext}` : a.name;
}

function UploadForm(props: { kind: 'signal' | 'song'; onUploaded: () => Promise<void>; today: string; maxBytes: number }) {
  const fileInput = useRef<HTMLInputElement>(null);
  const [progress, setProgress] = useState<number>();
  const [name, setName] = useState('');
  const [date, setDate] = useState(props.today);
  const [time, setTime] = useState('');
  const [problem, setProblem] = useState<string>();
  const action = useAction();
  const p = `upload-${props.kind}`;

  const submit = (e: Event) => {
    e.preventDefault();
    action.clear();
    const file = fileInput.current?.files?.[0];
    const fileProblem = checkUploadFile(file, props.maxBytes);
    const form = new FormData();
    if (props.kind === 'song') {
      const tm = normalizeTime(time);
      const d = checkDay(date);
      const problemText = !name.trim()
        ? t('signals.enterSongName')
        : !d.ok
          ? d.error
          : !tm.ok
            ? t('field.time', { error: tm.error })
            : fileProblem;
      if (problemText) {
        setProblem(problemText);
        return;
      }
      form.append('programName', name.trim());
      form.append('date', d.ok ? d.value : date);
      form.append('time', tm.ok ? tm.value : time);
    } else if (fileProblem) {
      setProblem(fileProblem);
      return;
    }
    setProblem(undefined);
    form.append('file', file!, file!.name);
    void action
      .run(async () => {
        if (props.kind === 'song') await refusePast(String(form.get('date')), String(form.get('time')));
        setProgress(0);
        await upload(form, setProgress);
        if (fileInput.current) fileInput.current.value = '';
        setName('');
        setTime('');
        await props.onUploaded();
        return props.kind === 'signal' ? t('signals.fileUploaded', { name: file!.name }) : t('signals.songProgrammed', { name: name.trim() });
      })
      .finally(() => setProgress(undefined));
  };

  return (
    <form onSubmit={submit} noValidate class="upload">
      <h3 class="small-heading">{props.kind === 'signal' ? t('signals.uploadSignal') : t('signals.programmeSong')}</h3>
      {props.kind === 'song' && (
        <div class="row">
          <div class="field">
            <label for={`${p}-name`}>{t('common.name')}</label>
            <input id={`${p}-name`} value={name} maxLength={80} onInput={(e) => setName(e.currentTarget.value)} />
          </div>
          <div class="field">
            <label for={`${p}-date`}>{t('common.date')}</label>
            <input id={`${p}-date`} type="date" value={date} onInput={(e) => setDate(e.currentTarget.value)} />
          </div>
          <div class="field">
            <label for={`${p}-time`}>{t('common.time')}</label>
            <input id={`${p}-time`} type="text" inputMode="numeric" placeholder="10:30" size={8} value={time} onInput={(e) => setTime(e.currentTarget.value)} />
          </div>
        </div>
      )}
      <div class="field">
        <label for={`${p}-file`}>{t('signals.audioFile')}</label>
        <input
          id={`${p}-file`}
          ref={fileInput}
          type="file"
          accept={UPLOAD_ACCEPT}
          aria-describedby={`${p}-limit`}
          onChange={() => {
            // Refused at once, not after minutes of uploading.
            const file = fileInput.current?.files?.[0];
            setProblem(file ? checkUploadFile(file, props.maxBytes) : undefined);
          }}
        />
        <small id={`${p}-limit`} class="muted">
          {t('signals.limit', { size: formatSize(props.maxBytes) })}
        </small>
      </div>
      <ErrorText error={problem} />
      {progress !== undefined && <ProgressBar fraction={progress} label={t('signals.uploadProgress')} />}
      <button type="submit" class="primary" disabled={action.busy}>
        {action.busy ? t('signals.uploading') : t('signals.upload')}
      </button>
      <Outcome action={action} />
    </form>
  );
}

/** A row's buttons; what they did is said above the table, not inside the row. */
function SignalRow(props: { s: AudioAsset; action: Action; onDelete: (s: AudioAsset) => void }) {
  const { s, action } = props;
  const builtIn = s.storageCategory === AssetCategory.BUILT_IN_SIGNAL;
  return (
    <tr>
      <th scope="row">{s.name}</th>
      <td>{formatLength(s.lengthSec)}</td>
      <td>{builtIn ? t('signals.builtIn') : t('signals.uploaded')}</td>
      <td class="buttons">
        <button type="button" class="small-button" onClick={() => action.run(() => trigger('playSignal', s.id).then(() => t('common.playing', { name: s.name })))} aria-label={t('common.playNamed', { name: s.name })}>
          {t('common.play')}
        </button>
        <a class="button small-button" href={signalFileUrl(s.id)} download={downloadName(s)} aria-label={t('common.downloadNamed', { name: s.name })}>
          {t('common.download')}
        </a>
        <button type="button" class="small-button danger" disabled={action.busy} onClick={() => props.onDelete(s)} aria-label={t('common.deleteNamed', { name: s.name })}>
          {t('common.delete')}
        </button>
      </td>
    </tr>
  );
}

/** The signal list with its play, download and delete; a delete of a signal in use asks for a replacement. */
function SignalList(props: { signals: AudioAsset[]; onChanged: () => Promise<void> }) {
  const action = useAction();
  const [asked, setAsked] = useState<{ signal: AudioAsset; uses: string[] }>();
  const remove = async (signal: AudioAsset, replaceWith?: string) => {
    await trigger('deleteSignal', signal.id, replaceWith ? { replaceWith } : undefined);
    await props.onChanged();
    notifyChanged();
    return t('signals.deleted', { name: signal.name });
  };
  const onDelete = (signal: AudioAsset) =>
    void action.run(async () => {
      const { protectedBy, uses } = await usesOf(signal.id);
      if (protectedBy) {
        throw new Error(t(protectedBy === 'alarm' ? 'signals.protectedAlarm' : 'signals.protectedLeadIn', { name: signal.name }));
      }
      if (uses.length > 0) {
        setAsked({ signal, uses });
        return;
      }
      const restore = signal.storageCategory === AssetCategory.BUILT_IN_SIGNAL ? `\n\n${t('signals.builtInReturns')}` : '';
      if (!window.confirm(`${t('signals.deleteConfirm', { name: signal.name })}${restore}`)) return;
      return remove(signal);
    });
  return (
    <>
      {/* Room kept for the outcome, so that it never pushes the list down. */}
      <div class="reserved-outcome">
        <Outcome action={action} />
      </div>
      <div class="table-wrap">
        <table class="data">
          <caption class="visually-hidden">{t('signals.caption')}</caption>
          <thead>
            <tr>
              <th scope="col">{t('common.name')}</th>
              <th scope="col">{t('common.length')}</th>
              <th scope="col">{t('signals.kind')}</th>
              <th scope="col">{t('common.actions')}</th>
            </tr>
          </thead>
          <tbody>
            {props.signals.map((s) => (
              <SignalRow key={s.id} s={s} action={action} onDelete={onDelete} />
            ))}
          </tbody>
        </table>
      </div>
      <ReplaceDialog
        asked={asked}
        signals={props.signals}
        onCancel={() => setAsked(undefined)}
        onConfirm={(replaceWith) => {
          const signal = asked!.signal;
          setAsked(undefined);
          void action.run(() => remove(signal, replaceWith));
        }}
      />
    </>
  );
}

function Announcements(props: { onChanged: () => Promise<void>; today: string }) {
  const [code, setCode] = useState('');
  const [name, setName] = useState('');
  const [date, setDate] = useState(props.today);
  const [time, setTime] = useState('');
  const [problem, setProblem] = useState<string>();
  const action = useAction();
  const id = code.trim();
  const needCode = () => {
    action.clear();
    if (!id) {
      setProblem(t('announce.enterCode'));
      return false;
    }
    if (!/^[A-Za-z0-9_-]+$/.test(id)) {
      setProblem(t('announce.codeCharacters'));
      return false;
    }
    setProblem(undefined);
    return true;
  };
  const playNow = () => {
    if (!needCode()) return;
    void action.run(async () => {
      await trigger('announce', id);
      return t('announce.playing');
    });
  };
  const schedule = (e: Event) => {
    e.preventDefault();
    if (!needCode()) return;
    const tm = normalizeTime(time);
    const d = checkDay(date);
    const p = !name.trim() ? t('announce.enterName') : !d.ok ? d.error : !tm.ok ? t('field.time', { error: tm.error }) : undefined;
    if (p) {
      setProblem(p);
      return;
    }
    void action.run(async () => {
      await refusePast(d.ok ? d.value : date, tm.ok ? tm.value : time);
      await trigger('announceProgrammed', id);
      await trigger('scheduleProgrammedAnnouncement', id, { programName: name.trim(), date: d.ok ? d.value : date, time: tm.ok ? tm.value : time });
      setCode('');
      setName('');
      setTime('');
      await props.onChanged();
      return t('announce.programmed');
    });
  };
  return (
    <section class="card" aria-labelledby="ann-title">
      <h2 id="ann-title">{t('announce.title')}</h2>
      <p class="muted small">{t('announce.intro')}</p>
      <form onSubmit={schedule} noValidate>
        <div class="field">
          <label for="ann-code">{t('announce.code')}</label>
          <input id="ann-code" value={code} autoComplete="off" onInput={(e) => setCode(e.currentTarget.value)} />
        </div>
        <button type="button" disabled={action.busy} onClick={playNow}>
          {t('announce.playNow')}
        </button>
        <h3 class="small-heading">{t('announce.orProgramme')}</h3>
        <div class="row">
          <div class="field">
            <label for="ann-name">{t('common.name')}</label>
            <input id="ann-name" value={name} maxLength={80} onInput={(e) => setName(e.currentTarget.value)} />
          </div>
          <div class="field">
            <label for="ann-date">{t('common.date')}</label>
            <input id="ann-date" type="date" value={date} onInput={(e) => setDate(e.currentTarget.value)} />
          </div>
          <div class="field">
            <label for="ann-time">{t('common.time')}</label>
            <input id="ann-time" type="text" inputMode="numeric" placeholder="10:30" size={8} value={time} onInput={(e) => setTime(e.currentTarget.value)} />
          </div>
        </div>
        <ErrorText error={problem} />
        <button type="submit" class="primary" disabled={action.busy}>
          {action.busy ? t('common.working') : t('announce.submit')}
        </button>
        <Outcome action={action} />
      </form>
    </section>
  );
}

function Programmes(props: { info: ProgrammeInfo | undefined; now?: string; error?: string; onChanged: () => Promise<void> }) {
  const action = useAction();
  const missed = (date: string, time: string) => !!props.info && !!props.now && isPast(date, time, props.info.date, props.now);
  const list = props.info?.programmes ?? [];
  return (
    <section class="card" aria-labelledby="prog-title">
      <h2 id="prog-title">{t('programmes.title')}</h2>
      <p class="muted small">{t('programmes.intro')}</p>
      <ErrorText error={props.error} />
      {list.length === 0 ? (
        <p class="muted">{t('programmes.none')}</p>
      ) : (
        <div class="table-wrap">
          <table class="data">
            <caption class="visually-hidden">{t('programmes.caption')}</caption>
            <thead>
              <tr>
                <th scope="col">{t('common.name')}</th>
                <th scope="col">{t('programmes.when')}</th>
                <th scope="col">{t('common.length')}</th>
                <th scope="col">{t('common.actions')}</th>
              </tr>
            </thead>
            <tbody>
              {list.map((p) => (
                <tr key={p.id}>
                  <th scope="row">{p.programName}</th>
                  <td>
                    {dateTimeText(`${dateText(p.date)} ${String(p.time)}`)}
                    {missed(dateText(p.date), String(p.time)) && <strong class="missed">{t('programmes.missed')}</strong>}
                  </td>
                  <td>{formatLength(p.lengthSec)}</td>
                  <td class="buttons">
                    <button type="button" class="small-button" onClick={() => action.run(() => trigger('playSignal', p.songId).then(() => t('common.playing', { name: p.programName })))} aria-label={t('common.playNamed', { name: p.programName })}>
                      {t('common.play')}
                    </button>
                    <a class="button small-button" href={signalFileUrl(p.songId)} download={p.programName} aria-label={t('common.downloadNamed', { name: p.programName })}>
                      {t('common.download')}
                    </a>
                    <button
                      type="button"
                      class="small-button danger"
                      disabled={action.busy}
                      aria-label={t('common.deleteNamed', { name: p.programName })}
                      onClick={() => {
                        if (!window.confirm(t('programmes.deleteConfirm', { name: p.programName }))) return;
                        void action.run(async () => {
                          await trigger('deleteProgramme', p.id);
                          await props.onChanged();
                        });
                      }}
                    >
                      {t('common.delete')}
                    </button>
                  </td>
                </tr>
              ))}
            </tbody>
          </table>
        </div>
      )}
      <Outcome action={action} />
    </section>
  );
}

export function SignalsPage() {
  const signals = useLoad(() => getTarget<AudioAsset[]>('signals'));
  const info = useLoad(() => getTarget<Info>('info'));
  const maxBytes = info.data?.maxUploadBytes ?? MAX_UPLOAD_BYTES;
  const programmes = useLoad(() => getTarget<ProgrammeInfo>('programmeInfo'));
  const status = useLoad(() => getTarget<Status>('status'), [programmes.data]);
  // Another screen's change shows here too.
  useLiveEvents(['database'], (name, data) => {
    const part = changedPart(data);
    if (name === 'reconnected' || part === 'signals') void signals.reload();
    if (name === 'reconnected' || part === 'programmes' || part === 'signals') void programmes.reload();
  });
  const today = programmes.data?.date ?? new Date().toISOString().slice(0, 10);
  return (
    <Page title={t('signals.title')}>
      <section class="card" aria-labelledby="sig-title">
        <h2 id="sig-title">{t('signals.heading')}</h2>
        <p class="muted small">{t('signals.intro')}</p>
        <ErrorText error={signals.error} />
        {!signals.data ? (
          <Loading text={t('loading.signals')} />
        ) : (
          <SignalList signals={signals.data} onChanged={signals.reload} />
        )}
        <UploadForm kind="signal" today={today} onUploaded={signals.reload} maxBytes={maxBytes} />
      </section>
      <Programmes info={programmes.data} now={status.data?.time} error={programmes.error} onChanged={programmes.reload} />
      <section class="card" aria-labelledby="song-title">
        <h2 id="song-title" class="visually-hidden">
          {t('signals.programmeSong')}
        </h2>
        <UploadForm kind="song" today={today} onUploaded={programmes.reload} maxBytes={maxBytes} />
      </section>
      <Announcements onChanged={programmes.reload} today={today} />
      <SpeakForm onChanged={programmes.reload} today={today} />
    </Page>
  );
}
