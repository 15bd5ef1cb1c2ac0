// Browser scenario: a backup downloaded from Settings is restored from its file, which undoes a
// later change; the snapshot taken before that restore brings the change back; a damaged file
// is refused in words.
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';

export async function backupScenario({ page, base, api, check, waitFor, tmp, screenshotAll }) {
  const pause = () => page.getByLabel('Pause between alarm repetitions (seconds)');
  const storedPause = async () => JSON.parse((await api(page, '/api/get/settings')).text).alarmDelaySec;
  await page.goto(`${base}/settings`);
  await page.getByRole('heading', { name: 'Backup', exact: true }).waitFor();
  const before = await storedPause();

  const [download] = await Promise.all([page.waitForEvent('download'), page.getByRole('button', { name: 'Download a backup' }).click()]);
  const name = download.suggestedFilename();
  check(/^veltrano-backup-\d{8}-\d{6}\.tar\.gz$/.test(name), `the backup is named ${name}`);
  const file = join(tmp, name);
  await download.saveAs(file);

  await pause().fill('9');
  await page.getByRole('button', { name: 'Save', exact: true }).click();
  await page.getByText('Saved.').waitFor();

  let question = '';
  page.once('dialog', (d) => {
    question = d.message();
  });
  await page.getByLabel('Backup file (.tar.gz)').setInputFiles(file);
  await page.getByRole('button', { name: 'Restore from file' }).click();
  await page.getByText(`"${name}" is restored.`).waitFor();
  check(question.includes('replaces all timetables') && question.includes('password'), `the confirmation says: ${question}`);
  check((await storedPause()) === before, 'the restore did not bring back the pause of the backup');
  await waitFor(async () => (await pause().inputValue()) === String(before), 'the form shows the restored pause');

  const snapshot = page.getByRole('button', { name: /^Restore the snapshot of / }).first();
  await snapshot.click();
  await page.getByRole('dialog').getByRole('button', { name: 'Restore', exact: true }).click();
  await page.getByText(/^The snapshot of .* is restored/).waitFor();
  check((await storedPause()) === 9, 'the snapshot did not bring back the change made after the backup');

  const broken = join(tmp, 'broken.tar.gz');
  writeFileSync(broken, 'not a backup');
  await page.getByLabel('Backup file (.tar.gz)').setInputFiles(broken);
  await page.getByRole('button', { name: 'Restore from file' }).click();
  await page.getByText('not a tar.gz archive').waitFor();
  check((await storedPause()) === 9, 'a refused file changed the settings');
  const problems = await screenshotAll(page, 'settings-backup');
  check(problems.length === 0, problems.join('\n'));
}
