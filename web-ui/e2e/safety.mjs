// Browser tests of the guards against ordinary mistakes: the alarm pressed on two screens at
// once, protected and in-use signals, a stale page deleting a calendar event, a fake audio
// upload, the warnings on every page, the day view and the printable bells.
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { enRange } from './dates.mjs';

const FACTORY_ID = 'ID_factory_default_timetable';

export async function safetyTests({ test, browser, context, page, base, api, check, waitFor, tmp, screenshotAll }) {
  const json = async (p, path) => JSON.parse((await api(p, path)).text);
  const openSecond = async (path) => {
    const second = await context.newPage();
    second.setDefaultTimeout(10000);
    second.on('dialog', (d) => void d.accept());
    await second.goto(`${base}${path}`);
    return second;
  };

  await test('two screens pressing Start, then Stop, at once leave the alarm started, then stopped', async () => {
    await page.goto(`${base}/`);
    const second = await openSecond('/');
    try {
      const button = (p, name) => p.getByRole('button', { name });
      // Both at the same moment, as two people would: no waiting for the other screen to settle.
      const pressBoth = async (name) => {
        const handles = await Promise.all([page, second].map((p) => button(p, name).elementHandle()));
        await Promise.all(handles.map((h) => h.dispatchEvent('click')));
      };
      const bothShow = (name) => Promise.all([page, second].map((p) => button(p, name).waitFor()));
      await bothShow('Start the alarm');
      await pressBoth('Start the alarm');
      await bothShow('Stop the alarm');
      check((await json(page, '/api/get/overview')).alarmActive === true, 'the second Start switched the alarm off');
      await page.getByRole('region', { name: 'Warnings' }).getByText('The alarm is sounding.').waitFor();
      await pressBoth('Stop the alarm');
      await bothShow('Start the alarm');
      check((await json(page, '/api/get/overview')).alarmActive === false, 'the second Stop started the alarm again');

      // A press just after the other screen's change turned the button round counts for what
      // it showed before.
      await button(page, 'Start the alarm').click();
      await bothShow('Stop the alarm');
      const late = await button(second, 'Stop the alarm').elementHandle();
      await button(page, 'Stop the alarm').click();
      await button(second, 'Start the alarm').waitFor();
      const answered = second.waitForResponse((r) => r.url().includes('/api/trigger/alarm'));
      await late.dispatchEvent('click');
      const sent = (await answered).url();
      check(sent.includes('alarmOff'), `a Stop pressed as the button turned round sent ${sent}`);
      check((await json(page, '/api/get/overview')).alarmActive === false, 'a Stop pressed as the button turned round started the alarm');
    } finally {
      await second.close();
    }
  });

  await test('warnings show on every page, each with the action that ends it', async () => {
    await api(page, '/api/trigger/alarmOn/0');
    await page.evaluate(() =>
      fetch('/db/settings/update', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{"schedulerEnable": false}' }),
    );
    await page.goto(`${base}/signals`);
    const warnings = page.getByRole('region', { name: 'Warnings' });
    await warnings.getByText('The alarm is sounding.').waitFor();
    // The most urgent shows; the others on request.
    await warnings.getByRole('button', { name: /^All \d warnings$/ }).click();
    await warnings.getByText('Bells are switched off.').waitFor();
    const problems = await screenshotAll(page, 'banners');
    await page.getByRole('button', { name: 'Stop the sounding alarm' }).click();
    await waitFor(async () => !(await warnings.getByText('The alarm is sounding.').count()), 'the alarm banner goes');
    check((await json(page, '/api/get/overview')).alarmActive === false, 'the banner did not stop the alarm');
    await page.getByRole('button', { name: 'Switch bells on' }).click();
    await waitFor(async () => !(await page.getByText('Bells are switched off.').count()), 'the bells-off banner goes');
    check((await json(page, '/api/get/settings')).schedulerEnable === true, 'the banner did not switch the bells on');
    check(problems.length === 0, problems.join('\n'));
  });

  await test('the alarm signal cannot be deleted; a signal in use can be replaced by no sound', async () => {
    const settings = await json(page, '/api/get/settings');
    const signals = await json(page, '/api/get/signals');
    const alarm = signals.find((s) => s.id === settings.alarmSignalId);
    await page.goto(`${base}/signals`);
    await page.getByRole('button', { name: `Delete ${alarm.name}`, exact: true }).click();
    await page.getByText(`"${alarm.name}" is the alarm signal and cannot be deleted`).first().waitFor();
    const refused = await api(page, `/api/trigger/deleteSignal/${alarm.id}`);
    check(refused.status === 400 && refused.text.includes('Settings'), `deleting the alarm signal answered ${refused.status} ${refused.text}`);
    check((await json(page, '/api/get/signals')).some((s) => s.id === alarm.id), 'the alarm signal is gone');

    check((await json(page, '/db')).timetables[FACTORY_ID].chA.preStart.id === 'ID_ping', 'the test needs ping as a warning bell');
    await page.getByRole('button', { name: 'Delete ping', exact: true }).click();
    await page.getByRole('dialog').getByLabel('What rings there instead?').selectOption({ label: 'No sound: these bells stay silent' });
    await page.getByRole('dialog').getByRole('button', { name: 'Delete and replace' }).click();
    await waitFor(async () => !(await json(page, '/api/get/signals')).some((s) => s.id === 'ID_ping'), 'ping is deleted');
    const tt = (await json(page, '/db')).timetables[FACTORY_ID];
    check(tt.chA.preStart.id === 'NULL' && tt.chA.preEnd.id === 'NULL', `the warnings still point at ping: ${JSON.stringify(tt.chA.preStart)}`);
  });

  await test('a stale page deleting a calendar event gets "The calendar changed; reload" and nothing is lost', async () => {
    for (const [id, start, end] of [['NULL', '2031-02-16', '2031-02-20'], [FACTORY_ID, '2031-03-01', '2031-03-01']]) {
      await api(page, `/api/trigger/addSingleEvent/0?timetableId=${id}&startDate=${start}&endDate=${end}`);
    }
    await page.goto(`${base}/calendar`);
    // A page whose live events are cut off is not told of the other screen's change.
    const stale = await context.newPage();
    stale.setDefaultTimeout(10000);
    stale.on('dialog', (d) => void d.accept());
    await stale.route('**/api/events', (route) => route.abort());
    await stale.goto(`${base}/calendar`);
    try {
      await stale.getByRole('button', { name: `Delete event ${enRange('2031-02-16', '2031-02-20')}: No bells` }).waitFor();
      await page.getByLabel('First day').fill('2031-04-01');
      await page.getByLabel('Last day').fill('2031-04-02');
      await page.getByRole('button', { name: 'Add event', exact: true }).click();
      await page.getByText('The event is added.').waitFor();
      await stale.getByRole('button', { name: `Delete event ${enRange('2031-02-16', '2031-02-20')}: No bells` }).click();
      await stale.getByText('The calendar changed on another screen').waitFor();
      const events = (await json(page, '/api/get/calendarInfo')).singleEvents;
      check(events.length === 3, `events left: ${JSON.stringify(events)}`);
      await stale.getByText(enRange('2031-04-01', '2031-04-02')).waitFor();
      await stale.getByRole('button', { name: `Delete event ${enRange('2031-02-16', '2031-02-20')}: No bells` }).click();
      await stale.getByText('The event is deleted.').waitFor();
      const left = (await json(page, '/api/get/calendarInfo')).singleEvents.map((e) => e.start);
      check(left.length === 2 && !left.includes('2031-02-16'), `after the second try: ${JSON.stringify(left)}`);
    } finally {
      await stale.close();
    }
  });

  await test('a text file named .mp3 is refused as audio', async () => {
    const fake = join(tmp, 'fake-bell.mp3');
    writeFileSync(fake, 'This is a text file, not a sound.\n'.repeat(50));
    const before = (await json(page, '/api/get/signals')).length;
    await page.goto(`${base}/signals`);
    await page.getByText('MP3 or WAV, up to 100 MB.').first().waitFor();
    await page.getByLabel('Audio file (MP3 or WAV)').first().setInputFiles(fake);
    await page.getByRole('button', { name: 'Upload', exact: true }).first().click();
    await page.getByText('Not an audio file the player can play').waitFor();
    check((await json(page, '/api/get/signals')).length === before, 'the fake file was stored');
  });

  await test('a day of the month shows its bells and why; the bells print on their own page', async () => {
    const month = await json(page, '/api/get/calendarDays?offset=0');
    const index = month.days.findIndex((d, i) => d.isGivenMonth && d.id === FACTORY_ID && d.typeOfDay === 'WORKDAY' && [1, 3, 4].includes(i % 7));
    check(index >= 0, 'no plain school day this month');
    await page.goto(`${base}/calendar`);
    await page.locator(`table.month td[data-date-day="${month.days[index].day}"] button`).click();
    const day = page.getByRole('region', { name: /^(Tuesday|Thursday|Friday)\b/ });
    await day.getByText('A school day: the default timetable rings.').waitFor();
    await day.getByRole('rowheader', { name: '07:45' }).waitFor();
    await day.getByText('start of lesson 1').waitFor();
    const problems = await screenshotAll(page, 'calendar-day');
    await page.goto(`${base}/timetables/${FACTORY_ID}/print`);
    await page.getByRole('heading', { name: 'Bells: Default' }).waitFor();
    await page.getByRole('cell', { name: '07:45–08:30' }).waitFor();
    problems.push(...(await screenshotAll(page, 'timetable-print')));
    check(problems.length === 0, problems.join('\n'));
  });
}
