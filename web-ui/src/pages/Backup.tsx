import { useRef, useState } from 'preact/hooks';
import { ConfirmDialog, ErrorText, Outcome, ProgressBar } from '../components/ui';
import { BACKUP_URL, backupProblem, getSnapshots, restoreBackup, restoreSnapshot, type RestoreAnswer, type Snapshot } from '../lib/api';
import { useAction, useLoad } from '../lib/hooks';
import { formatSize } from '../lib/upload';
import { t } from '../i18n';
import { dateTimeText } from '../i18n/format';

/** What a restore did, in words: from a file by its name, or a snapshot by when it was taken. */
export function restoredText(what: { file: string } | { snapshot: Snapshot; withPassword: boolean }, answer: RestoreAnswer): string {
  const parts = ['file' in what ? t('backup.restoredFile', { name: what.file }) : t('backup.restoredSnapshot', { taken: dateTimeText(what.snapshot.created) })];
  if (answer.missingAudioFiles.length > 0) parts.push(t('backup.missingAudio', { count: answer.missingAudioFiles.length }));
  if ('snapshot' in what && !what.withPassword) parts.push(t('backup.passwordKept'));
  if (!answer.loggedIn) parts.push(t('backup.passwordDiffers'));
  return parts.join(' ');
}

/** Why it was taken; one taken before a restore says which. */
function reasonLabel(s: Snapshot): string {
  if (s.reason === 'daily') return t('backup.daily');
  if (s.restoring?.kind === 'snapshot' && s.restoring.name) return t('backup.beforeRestoringSnapshot', { taken: dateTimeText(s.restoring.name) });
  if (s.restoring?.kind === 'file' && s.restoring.name) return t('backup.beforeRestoringFile', { name: s.restoring.name });
  return t('backup.beforeRestore');
}

/** "3 timetables, 12 events, 2 uploaded signals, password set". */
function contentsText(s: Snapshot): string {
  if (s.contents === undefined) return '';
  if (s.contents === null) return t('backup.unreadable');
  const c = s.contents;
  return t('backup.contents', { timetables: c.timetables, events: c.events, signals: c.uploadedSignals, password: c.passwordSet ? 'yes' : 'no' });
}

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
      return t('backup.downloading');
    });

  const afterRestore = async (what: Parameters<typeof restoredText>[0], answer: RestoreAnswer) => {
    await snapshots.reload();
    await props.onRestored();
    return restoredText(what, answer);
  };

  const restoreFromFile = (e: Event) => {
    e.preventDefault();
    restore.clear();
    const file = fileInput.current?.files?.[0];
    if (!file) {
      setProblem(t('backup.chooseFile'));
      return;
    }
    setProblem(undefined);
    if (!window.confirm(t('backup.confirmFile', { name: file.name }))) return;
    void restore
      .run(async () => {
        setProgress(0);
        const answer = await restoreBackup(file, setProgress);
        if (fileInput.current) fileInput.current.value = '';
        return afterRestore({ file: file.name }, answer);
      })
      .finally(() => setProgress(undefined));
  };

  // The snapshot the user asked to restore, while the question is open.
  const [asked, setAsked] = useState<Snapshot>();
  const [withPassword, setWithPassword] = useState(false);
  const ask = (s: Snapshot) => {
    setWithPassword(false);
    setAsked(s);
  };
  const restoreAsked = () => {
    const s = asked;
    if (!s) return;
    setAsked(undefined);
    restore.clear();
    void restore.run(async () => afterRestore({ snapshot: s, withPassword }, await restoreSnapshot(s.name, withPassword)));
  };

  return (
    <section class="card" id="backup" aria-labelledby="backup-title">
      <h2 id="backup-title">{t('backup.title')}</h2>
      <p class="muted">{t('backup.intro')}</p>
      <button type="button" class="primary" disabled={download.busy} onClick={startDownload}>
        {t('backup.download')}
      </button>
      <Outcome action={download} />

      <form class="upload" onSubmit={restoreFromFile} noValidate>
        <h3 class="small-heading">{t('backup.restoreTitle')}</h3>
        <div class="field">
          <label for="restore-file">{t('backup.file')}</label>
          <input id="restore-file" ref={fileInput} type="file" accept=".gz,.tgz,application/gzip" onChange={() => setProblem(undefined)} />
        </div>
        <ErrorText error={problem} />
        {progress !== undefined && <ProgressBar fraction={progress} label={t('backup.progress')} />}
        <button type="submit" class="danger" disabled={restore.busy}>
          {restore.busy ? t('backup.restoring') : t('backup.restoreFromFile')}
        </button>
      </form>
      <Outcome action={restore} />

      <h3 class="small-heading">{t('backup.snapshots')}</h3>
      <p class="muted">{t('backup.snapshotsIntro')}</p>
      <ErrorText error={snapshots.error} />
      {snapshots.data && snapshots.data.length === 0 && <p class="muted">{t('backup.noSnapshot')}</p>}
      {snapshots.data && snapshots.data.length > 0 && (
        <table class="data">
          <caption class="visually-hidden">{t('backup.snapshots')}</caption>
          <thead>
            <tr>
              <th scope="col">{t('backup.taken')}</th>
              <th scope="col">{t('backup.why')}</th>
              <th scope="col">{t('backup.holds')}</th>
              <th scope="col">{t('backup.size')}</th>
              <th scope="col">
                <span class="visually-hidden">{t('backup.action')}</span>
              </th>
            </tr>
          </thead>
          <tbody>
            {snapshots.data.map((s) => (
              <tr key={s.name}>
                <th scope="row">{dateTimeText(s.created)}</th>
                <td>{reasonLabel(s)}</td>
                <td>{contentsText(s)}</td>
                <td>{formatSize(s.size)}</td>
                <td>
                  <button type="button" class="small-button" disabled={restore.busy} onClick={() => ask(s)} aria-label={t('backup.restoreNamed', { taken: dateTimeText(s.created) })}>
                    {t('backup.restore')}
                  </button>
                </td>
              </tr>
            ))}
          </tbody>
        </table>
      )}
      <ConfirmDialog
        open={asked !== undefined}
        title={asked ? t('backup.restoreNamed', { taken: dateTimeText(asked.created) }) : ''}
        confirmLabel={t('backup.restore')}
        danger
        onConfirm={restoreAsked}
        onCancel={() => setAsked(undefined)}
      >
        {asked && (
          <>
            <p>{t('backup.confirmSnapshot', { taken: dateTimeText(asked.created) })}</p>
            {asked.contents !== undefined && (
              <p>
                <strong>{t('backup.itHolds')}</strong> {contentsText(asked)}
              </p>
            )}
            <div class="field-inline">
              <input id="restore-password" type="checkbox" checked={withPassword} onChange={(e) => setWithPassword(e.currentTarget.checked)} />
              <label for="restore-password">{t('backup.alsoPassword')}</label>
            </div>
            <p class="muted small">{withPassword ? t('backup.alsoPasswordOn') : t('backup.alsoPasswordOff')}</p>
          </>
        )}
      </ConfirmDialog>
    </section>
  );
}
