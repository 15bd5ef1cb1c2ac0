import { useRef, useState } from 'preact/hooks';
import { ErrorText, Outcome, ProgressBar } from '../components/ui';
import { BACKUP_URL, backupProblem, getSnapshots, restoreBackup, restoreSnapshot, type RestoreAnswer, type Snapshot } from '../lib/api';
import { useAction, useLoad } from '../lib/hooks';
import { formatSize } from '../lib/upload';
import { t } from '../i18n';
import { dateTimeText } from '../i18n/format';

/** What a restore did, in words: from a file by its name, or a snapshot by when it was taken. */
export function restoredText(what: { file: string } | { snapshot: Snapshot }, answer: RestoreAnswer): string {
  const parts = ['file' in what ? t('backup.restoredFile', { name: what.file }) : t('backup.restoredSnapshot', { taken: dateTimeText(what.snapshot.created) })];
  if (answer.missingAudioFiles.length > 0) parts.push(t('backup.missingAudio', { count: answer.missingAudioFiles.length }));
  if (!answer.loggedIn) parts.push(t('backup.passwordDiffers'));
  return parts.join(' ');
}

const reasonLabel = (s: Snapshot) => (s.reason === 'daily' ? t('backup.daily') : t('backup.beforeRestore'));

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

  const restoreOne = (s: Snapshot) => {
    if (!window.confirm(t('backup.confirmSnapshot', { taken: dateTimeText(s.created) }))) return;
    restore.clear();
    void restore.run(async () => afterRestore({ snapshot: s }, await restoreSnapshot(s.name)));
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
                <td>{formatSize(s.size)}</td>
                <td>
                  <button type="button" class="small-button" disabled={restore.busy} onClick={() => restoreOne(s)} aria-label={t('backup.restoreNamed', { taken: dateTimeText(s.created) })}>
                    {t('backup.restore')}
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
