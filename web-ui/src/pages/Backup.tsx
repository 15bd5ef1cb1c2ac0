import { useRef, useState } from 'preact/hooks';
import { ErrorText, Outcome, ProgressBar } from '../components/ui';
import { BACKUP_URL, backupProblem, getSnapshots, restoreBackup, restoreSnapshot, type RestoreAnswer, type Snapshot } from '../lib/api';
import { useAction, useLoad } from '../lib/hooks';
import { formatSize } from '../lib/upload';

const REPLACED = 'all timetables, the calendar, the settings, the signals and songs, and the dashboard password';

/** What a restore did, in words. */
export function restoredText(what: string, answer: RestoreAnswer): string {
  const parts = [`${what} is restored. The state before is kept as a snapshot.`];
  if (answer.missingAudioFiles.length > 0) {
    const n = answer.missingAudioFiles.length;
    parts.push(`${n} audio file${n === 1 ? ' is' : 's are'} gone since then: the bells that use ${n === 1 ? 'it' : 'them'} stay silent until uploaded again.`);
  }
  if (!answer.loggedIn) parts.push('The restored password differs: log in with it.');
  return parts.join(' ');
}

const reasonLabel = (s: Snapshot) => (s.reason === 'daily' ? 'Daily' : 'Before a restore');

/** Settings' "Backup" section: download, restore from a file, and the snapshots. */
export function BackupSection(props: { onRestored: () => Promise<void> }) {
  const snapshots = useLoad(getSnapshots);
  const download = useAction();
  const restore = useAction();
  const fileInput = useRef<HTMLInputElement>(null);
  const [progress, setProgress] = useState<number>();
  const [problem, setProblem] = useState<string>();

  const startDownload = () =>
    void download.run(async () => {
      const reason = await backupProblem();
      if (reason) throw new Error(reason);
      const link = document.createElement('a');
      link.href = BACKUP_URL;
      link.download = '';
      link.click();
      return 'The backup is downloading. Keep the file somewhere safe, away from this computer.';
    });

  const afterRestore = async (what: string, answer: RestoreAnswer) => {
    await snapshots.reload();
    await props.onRestored();
    return restoredText(what, answer);
  };

  const restoreFromFile = (e: Event) => {
    e.preventDefault();
    restore.clear();
    const file = fileInput.current?.files?.[0];
    if (!file) {
      setProblem('Choose a backup file first.');
      return;
    }
    setProblem(undefined);
    if (!window.confirm(`Restore the setup from "${file.name}"? This replaces ${REPLACED} with those of the backup. The current state is kept as a snapshot first.`)) return;
    void restore
      .run(async () => {
        setProgress(0);
        const answer = await restoreBackup(file, setProgress);
        if (fileInput.current) fileInput.current.value = '';
        return afterRestore(`"${file.name}"`, answer);
      })
      .finally(() => setProgress(undefined));
  };

  const restoreOne = (s: Snapshot) => {
    if (!window.confirm(`Restore the snapshot of ${s.created}? This replaces ${REPLACED} with those of that moment; uploaded audio files stay as they are. The current state is kept as a snapshot first.`)) return;
    restore.clear();
    void restore.run(async () => afterRestore(`The snapshot of ${s.created}`, await restoreSnapshot(s.name)));
  };

  return (
    <section class="card" id="backup" aria-labelledby="backup-title">
      <h2 id="backup-title">Backup</h2>
      <p class="muted">One file holds the whole setup: timetables, calendar, settings, uploaded signals and songs, and the password. With it a new computer rings the same bells.</p>
      <button type="button" class="primary" disabled={download.busy} onClick={startDownload}>
        Download a backup
      </button>
      <Outcome action={download} />

      <form class="upload" onSubmit={restoreFromFile} noValidate>
        <h3 class="small-heading">Restore from a backup file</h3>
        <div class="field">
          <label for="restore-file">Backup file (.tar.gz)</label>
          <input id="restore-file" ref={fileInput} type="file" accept=".gz,.tgz,application/gzip" onChange={() => setProblem(undefined)} />
        </div>
        <ErrorText error={problem} />
        {progress !== undefined && <ProgressBar fraction={progress} label="Restore upload progress" />}
        <button type="submit" class="danger" disabled={restore.busy}>
          {restore.busy ? 'Restoring…' : 'Restore from file'}
        </button>
      </form>
      <Outcome action={restore} />

      <h3 class="small-heading">Snapshots</h3>
      <p class="muted">The player keeps a copy of its settings and timetables every day and before every restore, the last 30. Uploaded audio is not part of them.</p>
      <ErrorText error={snapshots.error} />
      {snapshots.data && snapshots.data.length === 0 && <p class="muted">No snapshot yet.</p>}
      {snapshots.data && snapshots.data.length > 0 && (
        <table class="data">
          <caption class="visually-hidden">Snapshots</caption>
          <thead>
            <tr>
              <th scope="col">Taken</th>
              <th scope="col">Why</th>
              <th scope="col">Size</th>
              <th scope="col">
                <span class="visually-hidden">Action</span>
              </th>
            </tr>
          </thead>
          <tbody>
            {snapshots.data.map((s) => (
              <tr key={s.name}>
                <th scope="row">{s.created}</th>
                <td>{reasonLabel(s)}</td>
                <td>{formatSize(s.size)}</td>
                <td>
                  <button type="button" class="small-button" disabled={restore.busy} onClick={() => restoreOne(s)} aria-label={`Restore the snapshot of ${s.created}`}>
                    Restore
                  </button>
                </td>
              </tr>
            ))}
          </tbody>
        </table>
      )}
    </section>
  );
}
