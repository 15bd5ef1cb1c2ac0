// Browser scenario: a school without the remote service imports its term dates from an .ics
// file and sees them in the month view; a second import of the same file adds nothing.
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';

/** A term calendar: a break spanning the next month's first days, and a yearly holiday. */
function termCalendar(year, month) {
  const pad = (n) => String(n).padStart(2, '0');
  const next = month === 12 ? { y: year + 1, m: 1 } : { y: year, m: month + 1 };
  const day = (y, m, d) => `${y}${pad(m)}${pad(d)}`;
  return [
    'BEGIN:VCALENDAR',
    'VERSION:2.0',
    'PRODID:-//School board//Terms//EN',
    'BEGIN:VEVENT',
    'UID:break-1',
    'SUMMARY:Winter break',
    `DTSTART;VALUE=DATE:${day(next.y, next.m, 2)}`,
    `DTEND;VALUE=DATE:${day(next.y, next.m, 6)}`,
    'END:VEVENT',
    'BEGIN:VEVENT',
    'UID:national-day',
    'SUMMARY:National day',
    `DTSTART;VALUE=DATE:${day(year - 3, next.m, 20)}`,
    'RRULE:FREQ=YEARLY',
    'END:VEVENT',
    'END:VCALENDAR',
    '',
  ].join('\r\n');
}

export async function calendarImportScenario({ page, base, tmp, api, check, waitFor, screenshotAll }) {
  await page.goto(`${base}/calendar`);
  await page.locator('table.month').waitFor();
  const info = JSON.parse((await api(page, '/api/get/calendarInfo')).text);
  const [year, month] = info.date.split('-').map(Number);
  const file = join(tmp, 'terms.ics');
  writeFileSync(file, termCalendar(year, month));
  const broken = join(tmp, 'broken.ics');
  writeFileSync(broken, 'Subject,Start date\nWinter break,01/02/2027\n');

  await page.getByLabel('Calendar file (.ics)').setInputFiles(broken);
  await page.getByRole('button', { name: 'Show events' }).click();
  await page.getByText('The file is not an iCalendar (.ics) file').waitFor();

  await page.getByLabel('Calendar file (.ics)').setInputFiles(file);
  await page.getByRole('button', { name: 'Show events' }).click();
  await page.getByText('events found').waitFor();
  const rows = page.locator('table.ics-preview tbody tr');
  const count = await rows.count();
  check(count === 3, `expected the break and two national days in 18 months, got ${count}`);
  // The second national day is left out; the break rings nothing, the first holiday too.
  await page.getByRole('checkbox', { name: /^Take National day/ }).nth(1).uncheck();
  await page.getByLabel('Timetable for all events').selectOption({ label: 'No bells' });
  const problems = await screenshotAll(page, 'calendar-import');
  await page.getByRole('button', { name: 'Import 2 events' }).click();
  await page.getByText('2 events imported.').waitFor();
  await page.getByText(/^Winter break, 2\s*–\s*5 \w+ \d{4}: No bells$/).waitFor();

  const stored = JSON.parse((await api(page, '/api/get/calendarInfo')).text).singleEvents;
  const winter = stored.find((e) => e.name === 'Winter break');
  check(winter && winter.timeTableId === 'NULL' && winter.end.endsWith('-05'), `events stored as ${JSON.stringify(stored)}`);
  check(stored.filter((e) => e.name === 'National day').length === 1, 'the unticked national day was imported');

  await page.getByRole('button', { name: 'Next month' }).click();
  await waitFor(async () => (await page.locator('table.month td[data-date-day="3"]').getAttribute('data-timetable')) === 'NULL', 'the break shows in the month view');

  await page.getByLabel('Calendar file (.ics)').setInputFiles(file);
  await page.getByRole('button', { name: 'Show events' }).click();
  await page.getByText('events found').waitFor();
  await page.getByRole('button', { name: 'Import 3 events' }).click();
  await page.getByText('1 event imported. 2 were already in the calendar.').waitFor();
  const after = JSON.parse((await api(page, '/api/get/calendarInfo')).text).singleEvents;
  check(after.length === stored.length + 1, `a second import added ${after.length - stored.length} events`);
  // The calendar as it was, for the scenarios that follow.
  const restored = await page.evaluate(async (events) => {
    const r = await fetch('/db/settings/update', { method: 'POST', credentials: 'same-origin', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ 'calendar.singleEvents': events }) });
    return r.status;
  }, info.singleEvents);
  check(restored === 200, `the calendar was not restored (${restored})`);
  check(problems.length === 0, problems.join('\n'));
}
