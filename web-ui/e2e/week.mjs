// Browser scenario: named days off show by name in the month, the day, the week and on Home;
// single events are listed by date with the past ones folded; a ten-lesson timetable prints on
// one A4 page with its lessons, breaks, warning bells and the days it rings on.
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';

const DAY_MS = 24 * 3600 * 1000;
const iso = (ms) => new Date(ms).toISOString().slice(0, 10);
const utc = (day) => Date.parse(`${day}T00:00:00Z`);
const plus = (day, n) => iso(utc(day) + n * DAY_MS);
const mondayOf = (day) => plus(day, -((new Date(utc(day)).getUTCDay() + 6) % 7));
const months = (from, to) => (Number(to.slice(0, 4)) - Number(from.slice(0, 4))) * 12 + Number(to.slice(5, 7)) - Number(from.slice(5, 7));

/** Ten 45-minute lessons from 07:10 with 5- to 20-minute breaks, all four bells set. */
function tenLessons() {
  const lessons = [];
  let start = 7 * 60 + 10;
  for (let i = 0; i < 10; i++) {
    const hm = (m) => `${String(Math.floor(m / 60)).padStart(2, '0')}:${String(m % 60).padStart(2, '0')}`;
    lessons.push(`${hm(start)} - ${hm(start + 45)}`);
    start += 45 + (i === 2 ? 20 : 5);
  }
  const play = (id) => ({ id, doRepeat: false, iterations: 2, delaySec: 1.0 });
  const channel = { lessons, startOfClass: play('ID_melody'), endOfClass: play('ID_melody'), preStartWaitMin: 3, preStart: play('ID_ping'), preEndWaitMin: 5, preEnd: play('ID_ping') };
  return { name: 'Long day', chA: channel, chB: { ...channel, lessons: [] }, customPlays: [] };
}

async function post(page, path, body) {
  return page.evaluate(
    async ([p, b]) => {
      const r = await fetch(p, { method: 'POST', credentials: 'same-origin', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(b) });
      return { status: r.status, text: await r.text() };
    },
    [path, body],
  );
}

const addEvent = (page, params) => page.evaluate(async (q) => (await (await fetch(`/api/trigger/addSingleEvent/0?${new URLSearchParams(q)}`, { credentials: 'same-origin' })).text()), params);

export async function weekScenario({ page, base, outDir, api, check, waitFor, screenshotAll, sizes }) {
  const info = JSON.parse((await api(page, '/api/get/calendarInfo')).text);
  const today = info.date;
  // The week after tomorrow's, so that tomorrow's day off stays out of it.
  const monday = plus(mondayOf(plus(today, 1)), 7);
  const weeksAhead = (utc(monday) - utc(mondayOf(today))) / (7 * DAY_MS);
  const lessonText = (n) => `${n}. ${tenLessons().chA.lessons[n - 1].replace(' - ', '–')}`;
  const wednesday = plus(monday, 2);
  const created = await post(page, '/db/timetables/create', tenLessons());
  check(created.status === 200, `creating the ten-lesson timetable answered ${created.status}`);
  const longId = JSON.parse(created.text);
  try {
    // Stored out of date order: later first, a past one, and one made before names existed.
    for (const e of [
      { timetableId: 'NULL', startDate: plus(monday, 3), endDate: plus(monday, 8), name: 'Winter break' },
      { timetableId: 'NULL', startDate: plus(today, -400), endDate: plus(today, -398), name: 'Old trip' },
      { timetableId: longId, startDate: monday, endDate: plus(monday, 1), name: 'Exam days' },
      { timetableId: 'NULL', startDate: plus(today, 1), endDate: plus(today, 1) },
      { timetableId: 'NULL', startDate: today, endDate: today, name: 'Sports day' },
    ]) check((await addEvent(page, e)) === 'ok', `adding ${JSON.stringify(e)} failed`);

    await page.goto(`${base}/calendar`);
    await page.getByLabel('First day').fill(wednesday);
    await page.getByLabel('Last day').fill(wednesday);
    await page.locator('#single-timetable').selectOption({ label: 'No bells (day off)' });
    await page.getByLabel('Name (optional)').fill('National Day');
    await page.getByRole('button', { name: 'Add event', exact: true }).click();
    await page.locator('section[aria-labelledby="single-title"]').getByText(/^National Day, .*: No bells$/).waitFor();
    const listed = await page.locator('section[aria-labelledby="single-title"] > ul.events > li > span').allTextContents();
    const inOrder = ['Sports day', /^\d/, 'Exam days', 'National Day', 'Winter break'].every((p, i) => (typeof p === 'string' ? listed[i]?.startsWith(p) : p.test(listed[i] ?? '')));
    check(listed.length === 5 && inOrder, `single events not in date order: ${listed.join(' | ')}`);
    check(!(await page.getByText(/^Old trip/).isVisible()), 'a past event is not folded away');
    await page.locator('.past-events > summary').click();
    await page.getByText(/^Old trip/).waitFor();

    // The month: the day off has the colour of days off and its name; the day view says why.
    for (let i = 0; i < months(today, wednesday); i++) await page.getByRole('button', { name: 'Next month' }).click();
    const cell = page.locator(`table.month td[data-date-day="${Number(wednesday.slice(8))}"]`);
    await waitFor(async () => (await cell.getAttribute('data-event')) === 'National Day', 'the month names the day off');
    check((await cell.getAttribute('class')).includes('day-event-off'), 'the day off keeps the colour of a school day');
    await cell.locator('button').click();
    const day = page.locator('section.day-view');
    await day.getByText('National Day — no bells').waitFor();
    await day.getByText(/The event "National Day" \(.*\) sets it\./).waitFor();
    const problems = await screenshotAll(page, 'calendar-holiday-names', sizes);

    // The week: this week first, then the next with each day's kind, timetable and bells.
    await page.getByRole('link', { name: 'Week', exact: true }).click();
    await page.waitForURL(`${base}/calendar/week`);
    const todayCard = page.locator(`li.week-day[data-date="${today}"]`);
    await todayCard.locator('.badge', { hasText: 'Today' }).waitFor();
    for (let i = 1; i <= weeksAhead; i++) {
      await page.getByRole('button', { name: 'Next week' }).click();
      await page.waitForURL(`${base}/calendar/week?offset=${i}`);
    }
    const card = (d) => page.locator(`li.week-day[data-date="${d}"]`);
    await card(monday).getByText('School day: Long day').waitFor();
    await card(monday).getByText(/The event "Exam days"/).waitFor();
    await card(monday).getByText(lessonText(1), { exact: true }).waitFor();
    await card(monday).getByText(lessonText(10), { exact: true }).waitFor();
    await card(monday).getByText(/^Warning bells: 07:07, 07:50, /).waitFor();
    await card(wednesday).getByText('National Day — no bells').waitFor();
    await card(plus(monday, 3)).getByText('Winter break — no bells').waitFor();
    check((await card(plus(monday, 3)).locator('h3').getAttribute('class')).includes('day-event-off'), 'the break is not coloured as a day off');
    check((await page.locator('li.week-day').count()) === 7, 'the week has not seven days');
    problems.push(...(await screenshotAll(page, 'week', sizes)));
    await page.getByRole('button', { name: 'Back to this week' }).click();
    await page.waitForURL(`${base}/calendar/week`);

    // Home: today is the sports day, tomorrow the unnamed day off.
    await page.goto(`${base}/`);
    await page.locator('.today-card').getByText('Sports day — no bells').waitFor();
    await page.locator('.today-card').getByText('Day off — no bells').waitFor();

    // The printed plan of ten lessons: one A4 page.
    await page.goto(`${base}/timetables/${longId}/print`);
    await page.getByRole('heading', { name: 'Bells: Long day' }).waitFor();
    await page.getByRole('rowheader', { name: '10.' }).waitFor();
    await page.getByText('Break, 20 min').waitFor();
    await page.getByRole('heading', { name: 'Warning bells' }).waitFor();
    await page.getByText(/^Exam days, /).waitFor();
    await page.getByText(/^Printed on /).waitFor();
    problems.push(...(await screenshotAll(page, 'print-ten-lessons', sizes)));
    await page.emulateMedia({ media: 'print' });
    // A4 at 96 dpi less the 15 mm margins: 180 mm wide, 267 mm high.
    // A low window, so that the page's height is its content's.
    await page.setViewportSize({ width: Math.floor((180 / 25.4) * 96), height: 200 });
    const height = await page.evaluate(() => document.documentElement.scrollHeight);
    const room = Math.floor((267 / 25.4) * 96);
    await page.screenshot({ path: join(outDir, 'print-ten-lessons-a4.png'), fullPage: true });
    const pdf = await page.pdf({ format: 'A4', preferCSSPageSize: true });
    await page.emulateMedia({ media: null });
    writeFileSync(join(outDir, 'print-ten-lessons.pdf'), pdf);
    const pages = (pdf.toString('latin1').match(/\/Type\s*\/Page\b/g) ?? []).length;
    console.log(`     printed plan of 10 lessons: ${height} px of ${room} px on A4, ${pages} page(s)`);
    check(height <= room && pages === 1, `the ten-lesson plan takes ${height} px of ${room} px and ${pages} pages`);
    check(problems.length === 0, problems.join('\n'));
  } finally {
    await post(page, '/db/settings/update', { 'calendar.singleEvents': info.singleEvents });
    await page.evaluate(async (id) => fetch(`/api/trigger/deleteTimetable/${id}`, { credentials: 'same-origin' }), longId);
    await page.setViewportSize(sizes[0][1]);
  }
}
