// Browser scenarios: warnings never move the page (a layout-shift score of 0 while a sound
// starts on a phone), the alarm is on the first screen of every page, a failed sound is named and
// can be acknowledged, a signal in use is deleted with a replacement, and a snapshot restore keeps
// the password. Screenshots at 1366×850 and 375×812 go to the output folder as screens-*.png.
import { rmSync } from 'node:fs';
import { join } from 'node:path';

const FACTORY_ID = 'ID_factory_default_timetable';
const WIDE = { width: 1366, height: 850 };
const PHONE = { width: 375, height: 812 };
const PAGES = ['/', '/timetables', '/calendar', '/signals', '/log', '/settings'];

export async function screensScenarios({ test, page, base, api, check, waitFor, tmp, dataDir, outDir, wavFile, screenshotAll }) {
  const json = async (path) => JSON.parse((await api(page, path)).text);
  const post = (path, body) =>
    page.evaluate(
      async ([p, b]) => {
        const r = await fetch(p, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: b });
        return { status: r.status, text: await r.text() };
      },
      [path, body],
    );
  const shoot = async (name) => {
    for (const [label, size] of [['1366', WIDE], ['375', PHONE]]) {
      await page.setViewportSize(size);
      await page.screenshot({ path: join(outDir, `screens-${name}-${label}.png`) });
    }
  };
  const bar = () => page.getByRole('region', { name: 'Warnings' });
  // Failures of earlier scenarios are acknowledged, so that the bar starts calm.
  const acknowledgeAll = async () => {
    for (let i = 0; i < 20 && (await bar().getByRole('button', { name: /^Seen, hide/ }).count()) > 0; i++) {
      await bar().getByRole('button', { name: /^Seen, hide/ }).first().click();
    }
  };

  await test('a sound starting on a phone moves nothing: layout shift 0, Stop all sounds and the alarm stay put', async () => {
    await page.setViewportSize(PHONE);
    for (const path of ['/', '/signals']) {
      await page.goto(`${base}${path}`);
      await page.locator('h1').waitFor();
      await page.waitForLoadState('networkidle');
      await acknowledgeAll();
      await page.getByText('No warnings.').waitFor();
      await page.waitForLoadState('networkidle');
      const alarm = page.getByRole('button', { name: 'Start the alarm' });
      const before = await alarm.boundingBox();
      await page.evaluate(() => {
        window.shiftScore = 0;
        window.shifted = [];
        new PerformanceObserver((list) => {
          for (const e of list.getEntries()) {
            if (e.hadRecentInput) continue;
            window.shiftScore += e.value;
            window.shifted.push(...(e.sources ?? []).map((s) => s.node?.outerHTML?.slice(0, 100) ?? '?'));
          }
        }).observe({ type: 'layout-shift' });
        // Overlapping one-second plays, so that the page's status poll sees the sound.
        for (let i = 0; i < 4; i++) setTimeout(() => void fetch('/api/trigger/playSignal/ID_melody', { credentials: 'same-origin' }), i * 700);
      });
      const stop = bar().getByRole('button', { name: 'Stop all sounds' });
      await stop.waitFor();
      await bar().getByText('A sound is playing.').waitFor();
      const stopBox = await stop.boundingBox();
      if (path === '/signals') await shoot('playing');
      await waitFor(async () => (await bar().getByText('No warnings.').count()) > 0, 'the sound ends', 12000);
      const { score, shifted } = await page.evaluate(() => ({ score: window.shiftScore, shifted: window.shifted }));
      check(score === 0, `${path}: layout shift ${score} while a sound started and ended: ${shifted.join(' ; ')}`);
      const after = await alarm.boundingBox();
      check(JSON.stringify(before) === JSON.stringify(after), `${path}: the alarm button moved from ${JSON.stringify(before)} to ${JSON.stringify(after)}`);
      check(stopBox && stopBox.y + stopBox.height <= PHONE.height, `${path}: Stop all sounds is off the screen at ${JSON.stringify(stopBox)}`);
    }
  });

  await test('on a phone the alarm button is on the first screen of every page', async () => {
    await page.setViewportSize(PHONE);
    for (const path of PAGES) {
      await page.goto(`${base}${path}`);
      await page.locator('h1').waitFor();
      const box = await page.getByRole('button', { name: 'Start the alarm' }).boundingBox();
      check(box && box.y >= 0 && box.y + box.height <= PHONE.height, `${path}: the alarm button is at ${JSON.stringify(box)}`);
    }
    await shoot('home');
  });

  // An uploaded signal rings at the start of channel A's lessons, and is stored for channel B.
  const wav = join(tmp, 'e2e-tone.wav');
  wavFile(wav, 4321);
  let tone;
  await test('a failed sound is named with advice, can be acknowledged, and ends when it has played since', async () => {
    await page.setViewportSize(WIDE);
    await page.goto(`${base}/signals`);
    await page.getByLabel('Audio file (MP3 or WAV)').first().setInputFiles(wav);
    await page.getByRole('button', { name: 'Upload', exact: true }).first().click();
    await page.getByText('"e2e-tone.wav" is uploaded.').waitFor();
    tone = (await json('/api/get/signals')).find((s) => s.name === 'e2e-tone');
    const file = join(dataDir, tone.filename);
    rmSync(file);
    await api(page, `/api/trigger/playSignal/${tone.id}`);
    const warning = bar().getByText(/“e2e-tone” at .* could not play: its file is missing\. Upload it again or choose another signal\./);
    await warning.waitFor({ timeout: 35000 });
    check(!(await bar().innerText()).includes(tone.filename), 'the warning shows the file id');
    await shoot('failure');
    await bar().getByRole('button', { name: /^Seen, hide/ }).click();
    await warning.waitFor({ state: 'detached' });

    await api(page, `/api/trigger/playSignal/${tone.id}`);
    await warning.waitFor({ timeout: 35000 });
    wavFile(file, 4321);
    await api(page, `/api/trigger/playSignal/${tone.id}`);
    await warning.waitFor({ state: 'detached', timeout: 35000 });
  });

  await test('deleting a signal in use asks for a replacement, lists only places that ring, and replaces it', async () => {
    const tt = (await json('/db')).timetables[FACTORY_ID];
    tt.chA.startOfClass.id = tone.id;
    tt.chB.endOfClass.id = tone.id;
    check((await post(`/db/timetables/update/${FACTORY_ID}`, JSON.stringify(tt))).status === 200, 'the timetable was not saved');
    await page.setViewportSize(WIDE);
    await page.goto(`${base}/signals`);
    await page.getByRole('button', { name: 'Delete e2e-tone', exact: true }).click();
    const dialog = page.getByRole('dialog');
    await dialog.getByText('It rings in this place:').waitFor();
    const places = await dialog.locator('ul.places li').allInnerTexts();
    check(places.length === 1 && places[0].includes('start of lesson') && !/channel B/i.test(places[0]), `places listed: ${places.join(' | ')}`);
    await dialog.getByRole('button', { name: 'Delete and replace' }).click();
    await dialog.getByText('Choose what rings instead, or "No sound".').waitFor();
    check(await page.evaluate(() => document.activeElement?.id === 'replace-with'), 'the choice does not take the focus');
    await dialog.getByLabel('What rings there instead?').selectOption({ label: 'ring' });
    await shoot('replace');
    await dialog.getByRole('button', { name: 'Delete and replace' }).click();
    await page.getByText('"e2e-tone" is deleted.').waitFor();
    const after = (await json('/db')).timetables[FACTORY_ID];
    check(after.chA.startOfClass.id === 'ID_ring' && after.chB.endOfClass.id === 'ID_ring', `bells now play ${after.chA.startOfClass.id} and ${after.chB.endOfClass.id}`);
    check(!(await json('/api/get/signals')).some((s) => s.id === tone.id), 'the signal is still there');
  });

  await test('a snapshot shows what it holds; restoring the oldest keeps the password unless asked', async () => {
    await page.setViewportSize(WIDE);
    await page.goto(`${base}/settings#backup`);
    const snapshots = await json('/backup/snapshots');
    const oldest = snapshots[snapshots.length - 1];
    check(oldest.reason === 'daily' && oldest.contents?.passwordSet === false, `the oldest snapshot is ${JSON.stringify(oldest)}`);
    const rows = page.locator('#backup table tbody tr');
    await rows.last().getByText('no password').waitFor();
    await rows.last().getByRole('button', { name: /^Restore the snapshot of / }).click();
    const dialog = page.getByRole('dialog');
    const tick = dialog.getByLabel('Also restore the dashboard password of that moment');
    check(!(await tick.isChecked()), 'restoring the password is ticked already');
    await shoot('restore');
    await dialog.getByRole('button', { name: 'Restore', exact: true }).click();
    await page.getByText('The password stayed as it was.').waitFor();
    check((await json('/api/get/overview')).passwordMissing === false, 'the password was wiped');
    check((await api(page, '/db')).status === 200, 'this browser was logged out');
    const newest = (await json('/backup/snapshots'))[0];
    check(newest.restoring?.kind === 'snapshot' && newest.restoring.name === oldest.created, `the new snapshot says ${JSON.stringify(newest)}`);
    await rows.first().getByText(/^Before restoring the snapshot of /).waitFor();
    const problems = await screenshotAll(page, 'screens-backup');
    check(problems.length === 0, problems.join('\n'));
  });
}
