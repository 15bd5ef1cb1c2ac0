import { useRef, useState } from 'preact/hooks';
import { ErrorText, Loading, Outcome, Page, ProgressBar } from '../components/ui';
import { getDb, getTarget, signalFileUrl, trigger, upload } from '../lib/api';
import { notifyChanged } from '../lib/playerState';
import { useAction, useLoad } from '../lib/hooks';
import { checkPeriod, dateText, isPast, normalizeTime } from '../lib/time';
import { PLAY_KEYS, PLAY_LABELS } from '../lib/timetable';
import { checkUploadFile, extensionOf, formatLength, formatSize, MAX_UPLOAD_BYTES, UPLOAD_ACCEPT } from '../lib/upload';
import type { AudioAsset, Info, ProgrammeInfo, Status, TimeTable } from '../lib/types';
import { AssetCategory } from '../lib/types';
import { SpeakForm } from './Speak';

/**
 * Where a signal is in use, so that deleting it does not silently mute a bell: `protectedBy`
 * names the setting that keeps it (the player refuses to delete it), `uses` the bells that
 * fall silent.
 */
async function usesOf(id: string): Promise<{ protectedBy?: string; uses: string[] }> {
  const db = (await getDb()) as {
    settings?: { alarmSignalId?: string; announcementSignalId?: string };
    timetables?: Record<string, TimeTable>;
    programmes?: Record<string, { songId?: string; date?: unknown; time?: unknown }>;
  };
  if (db.settings?.alarmSignalId === id) return { protectedBy: 'the alarm signal', uses: [] };
  if (db.settings?.announcementSignalId === id) return { protectedBy: 'the announcement lead-in signal', uses: [] };
  const uses: string[] = [];
  for (const tt of Object.values(db.timetables ?? {})) {
    for (const ch of ['chA', 'chB'] as const) {
      for (const k of PLAY_KEYS) {
        if (tt[ch]?.[k]?.id === id) uses.push(`timetable "${tt.name}", channel ${ch === 'chA' ? 'A' : 'B'}: ${PLAY_LABELS[k].toLowerCase()}`);
      }
    }
    (tt.customPlays ?? []).forEach((p, i) => {
      if (p.desc?.id === id) uses.push(`timetable "${tt.name}": custom play ${i + 1}`);
    });
  }
  for (const p of Object.values(db.programmes ?? {})) {
    if (p.songId === id) uses.push(`the programme on ${dateText(p.date)} ${String(p.time ?? '')}`);
  }
  return { uses };
}

/** Refuses a play time that has already passed on the player's clock: it would never ring. */
async function refusePast(date: string, time: string): Promise<void> {
  const [status, info] = await Promise.all([getTarget<Status>('status'), getTarget<ProgrammeInfo>('programmeInfo')]);
  if (isPast(date, time, info.date, status.time)) {
    throw new Error(`${date} ${time} has already passed on the player's clock (now ${info.date} ${status.time}); choose a later time.`);
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
      const t = normalizeTime(time);
      const d = checkPeriod(date, date);
      const problemText = !name.trim()
        ? 'Enter a name for the song.'
        : !d.ok
          ? d.error.replace('First day: ', 'Date: ')
          : !t.ok
            ? `Time: ${t.error}`
            : fileProblem;
      if (problemText) {
        setProblem(problemText);
        return;
      }
      form.append('programName', name.trim());
      form.append('date', d.ok ? d.value.start : date);
      form.append('time', t.ok ? t.value : time);
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
        return props.kind === 'signal' ? `"${file!.name}" is uploaded.` : `"${name.trim()}" is programmed.`;
      })
      .finally(() => setProgress(undefined));
  };

  return (
    <form onSubmit={submit} noValidate class="upload">
      <h3 class="small-heading">{props.kind === 'signal' ? 'Upload a signal' : 'Programme a song'}</h3>
      {props.kind === 'song' && (
        <div class="row">
          <div class="field">
            <label for={`${p}-name`}>Name</label>
            <input id={`${p}-name`} value={name} maxLength={80} onInput={(e) => setName(e.currentTarget.value)} />
          </div>
          <div class="field">
            <label for={`${p}-date`}>Date</label>
            <input id={`${p}-date`} type="date" value={date} onInput={(e) => setDate(e.currentTarget.value)} />
          </div>
          <div class="field">
            <label for={`${p}-time`}>Time</label>
            <input id={`${p}-time`} type="text" inputMode="numeric" placeholder="10:30" size={8} value={time} onInput={(e) => setTime(e.currentTarget.value)} />
          </div>
        </div>
      )}
      <div class="field">
        <label for={`${p}-file`}>Audio file (MP3 or WAV)</label>
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
          MP3 or WAV, up to {formatSize(props.maxBytes)}.
        </small>
      </div>
      <ErrorText error={problem} />
      {progress !== undefined && <ProgressBar fraction={progress} label="Upload progress" />}
      <button type="submit" class="primary" disabled={action.busy}>
        {action.busy ? 'Uploading…' : 'Upload'}
      </button>
      <Outcome action={action} />
    </form>
  );
}

function SignalRow(props: { s: AudioAsset; onChanged: () => Promise<void> }) {
  const { s } = props;
  const action = useAction();
  const builtIn = s.storageCategory === AssetCategory.BUILT_IN_SIGNAL;
  const remove = () =>
    action.run(async () => {
      const { protectedBy, uses } = await usesOf(s.id);
      if (protectedBy) {
        throw new Error(`"${s.name}" is ${protectedBy} and cannot be deleted. Choose another one under Settings first.`);
      }
      const warning = uses.length
        ? `\n\nIt is used by:\n${uses.map((u) => `• ${u}`).join('\n')}\n\nThese will be set to no signal and stay silent until you choose another signal.`
        : '';
      const restore = builtIn ? '\n\nBuilt-in signals come back when the player restarts.' : '';
      if (!window.confirm(`Delete the signal "${s.name}"?${warning}${restore}`)) return;
      await trigger('deleteSignal', s.id);
      await props.onChanged();
      notifyChanged();
    });
  return (
    <tr>
      <th scope="row">{s.name}</th>
      <td>{formatLength(s.lengthSec)}</td>
      <td>{builtIn ? 'Built in' : 'Uploaded'}</td>
      <td class="buttons">
        <button type="button" class="small-button" onClick={() => action.run(() => trigger('playSignal', s.id).then(() => `Playing "${s.name}".`))} aria-label={`Play ${s.name}`}>
          ▶ Play
        </button>
        <a class="button small-button" href={signalFileUrl(s.id)} download={downloadName(s)} aria-label={`Download ${s.name}`}>
          Download
        </a>
        <button type="button" class="small-button danger" disabled={action.busy} onClick={remove} aria-label={`Delete ${s.name}`}>
          Delete
        </button>
        <Outcome action={action} />
      </td>
    </tr>
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
      setProblem('Enter the announcement code.');
      return false;
    }
    if (!/^[A-Za-z0-9_-]+$/.test(id)) {
      setProblem('The announcement code may contain letters, digits, "-" and "_" only.');
      return false;
    }
    setProblem(undefined);
    return true;
  };
  const playNow = () => {
    if (!needCode()) return;
    void action.run(async () => {
      await trigger('announce', id);
      return 'The announcement is downloaded and playing.';
    });
  };
  const schedule = (e: Event) => {
    e.preventDefault();
    if (!needCode()) return;
    const t = normalizeTime(time);
    const d = checkPeriod(date, date);
    const p = !name.trim() ? 'Enter a name for the announcement.' : !d.ok ? d.error.replace('First day: ', 'Date: ') : !t.ok ? `Time: ${t.error}` : undefined;
    if (p) {
      setProblem(p);
      return;
    }
    void action.run(async () => {
      await refusePast(d.ok ? d.value.start : date, t.ok ? t.value : time);
      await trigger('announceProgrammed', id);
      await trigger('scheduleProgrammedAnnouncement', id, { programName: name.trim(), date: d.ok ? d.value.start : date, time: t.ok ? t.value : time });
      setCode('');
      setName('');
      setTime('');
      await props.onChanged();
      return 'The announcement is downloaded and programmed.';
    });
  };
  return (
    <section class="card" aria-labelledby="ann-title">
      <h2 id="ann-title">Announcements</h2>
      <p class="muted small">
        Spoken announcements prepared on the announcement service are fetched by their code (the player needs internet
        access). The lead-in signal chosen in the settings plays first.
      </p>
      <form onSubmit={schedule} noValidate>
        <div class="field">
          <label for="ann-code">Announcement code</label>
          <input id="ann-code" value={code} autoComplete="off" onInput={(e) => setCode(e.currentTarget.value)} />
        </div>
        <button type="button" disabled={action.busy} onClick={playNow}>
          Play now
        </button>
        <h3 class="small-heading">Or programme it</h3>
        <div class="row">
          <div class="field">
            <label for="ann-name">Name</label>
            <input id="ann-name" value={name} maxLength={80} onInput={(e) => setName(e.currentTarget.value)} />
          </div>
          <div class="field">
            <label for="ann-date">Date</label>
            <input id="ann-date" type="date" value={date} onInput={(e) => setDate(e.currentTarget.value)} />
          </div>
          <div class="field">
            <label for="ann-time">Time</label>
            <input id="ann-time" type="text" inputMode="numeric" placeholder="10:30" size={8} value={time} onInput={(e) => setTime(e.currentTarget.value)} />
          </div>
        </div>
        <ErrorText error={problem} />
        <button type="submit" class="primary" disabled={action.busy}>
          {action.busy ? 'Working…' : 'Download and programme'}
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
      <h2 id="prog-title">Programmed songs and announcements</h2>
      <p class="muted small">Each plays once at its date and time (when automatic bells are on), then it is deleted.</p>
      <ErrorText error={props.error} />
      {list.length === 0 ? (
        <p class="muted">Nothing is programmed.</p>
      ) : (
        <div class="table-wrap">
          <table class="data">
            <caption class="visually-hidden">Programmed songs</caption>
            <thead>
              <tr>
                <th scope="col">Name</th>
                <th scope="col">When</th>
                <th scope="col">Length</th>
                <th scope="col">Actions</th>
              </tr>
            </thead>
            <tbody>
              {list.map((p) => (
                <tr key={p.id}>
                  <th scope="row">{p.programName}</th>
                  <td>
                    {dateText(p.date)} {String(p.time)}
                    {missed(dateText(p.date), String(p.time)) && <strong class="missed"> (missed: its time has passed)</strong>}
                  </td>
                  <td>{formatLength(p.lengthSec)}</td>
                  <td class="buttons">
                    <button type="button" class="small-button" onClick={() => action.run(() => trigger('playSignal', p.songId).then(() => `Playing "${p.programName}".`))} aria-label={`Play ${p.programName}`}>
                      ▶ Play
                    </button>
                    <a class="button small-button" href={signalFileUrl(p.songId)} download={p.programName} aria-label={`Download ${p.programName}`}>
                      Download
                    </a>
                    <button
                      type="button"
                      class="small-button danger"
                      disabled={action.busy}
                      aria-label={`Delete ${p.programName}`}
                      onClick={() => {
                        if (!window.confirm(`Delete "${p.programName}"? It will not play.`)) return;
                        void action.run(async () => {
                          await trigger('deleteProgramme', p.id);
                          await props.onChanged();
                        });
                      }}
                    >
                      Delete
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
  const today = programmes.data?.date ?? new Date().toISOString().slice(0, 10);
  return (
    <Page title="Signals & songs">
      <section class="card" aria-labelledby="sig-title">
        <h2 id="sig-title">Signals</h2>
        <p class="muted small">Signals ring at the lessons; choose them in the timetables.</p>
        <ErrorText error={signals.error} />
        {!signals.data ? (
          <Loading what="signals" />
        ) : (
          <div class="table-wrap">
            <table class="data">
              <caption class="visually-hidden">Signals</caption>
              <thead>
                <tr>
                  <th scope="col">Name</th>
                  <th scope="col">Length</th>
                  <th scope="col">Kind</th>
                  <th scope="col">Actions</th>
                </tr>
              </thead>
              <tbody>
                {signals.data.map((s) => (
                  <SignalRow key={s.id} s={s} onChanged={signals.reload} />
                ))}
              </tbody>
            </table>
          </div>
        )}
        <UploadForm kind="signal" today={today} onUploaded={signals.reload} maxBytes={maxBytes} />
      </section>
      <Programmes info={programmes.data} now={status.data?.time} error={programmes.error} onChanged={programmes.reload} />
      <section class="card" aria-labelledby="song-title">
        <h2 id="song-title" class="visually-hidden">
          Programme a song
        </h2>
        <UploadForm kind="song" today={today} onUploaded={programmes.reload} maxBytes={maxBytes} />
      </section>
      <Announcements onChanged={programmes.reload} today={today} />
      <SpeakForm onChanged={programmes.reload} today={today} />
    </Page>
  );
}
