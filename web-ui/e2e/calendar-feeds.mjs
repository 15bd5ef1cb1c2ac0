// Browser scenario: a school subscribes to its district's holiday calendar, served here by a local
// HTTP server. The player fetches it through a redirect, replaces its events when the district
// changes the calendar, keeps them while the server is down, and refuses a calendar over 1 MiB.
import { createServer } from 'node:http';
import { join } from 'node:path';

const pad = (n) => String(n).padStart(2, '0');
const SIZES = [['laptop', { width: 1366, height: 850 }], ['phone', { width: 375, height: 812 }]];

/** The district's calendar: one break in the month after `date`, and a teachers' day. */
function districtCalendar(date, breakName, firstDay) {
  const [year, month] = date.split('-').map(Number);
  const next = month === 12 ? { y: year + 1, m: 1 } : { y: year, m: month + 1 };
  const day = (d) => `${next.y}${pad(next.m)}${pad(d)}`;
  const event = (uid, summary, first, afterLast) => ['BEGIN:VEVENT', `UID:${uid}`, `SUMMARY:${summary}`, `DTSTART;VALUE=DATE:${day(first)}`, `DTEND;VALUE=DATE:${day(afterLast)}`, 'END:VEVENT'];
  return ['BEGIN:VCALENDAR', 'VERSION:2.0', 'PRODID:-//District//Holidays//EN', ...event('break', breakName, firstDay, firstDay + 4), ...event('teachers', "Teachers' day", 20, 21), 'END:VCALENDAR', ''].join('\r\n');
}

/** Serves the calendar, a redirect to it, and a calendar larger than the player takes. */
async function districtServer() {
  const state = { ics: '', down: false };
  const server = createServer((req, res) => {
    if (req.url === '/subscribe') {
      res.writeHead(302, { Location: '/district/holidays.ics' });
      res.end();
    } else if (req.url === '/district/holidays.ics' && !state.down) {
      res.writeHead(200, { 'Content-Type': 'text/calendar; charset=utf-8' });
      res.end(state.ics);
    } else if (req.url === '/huge.ics') {
      // Sent in pieces without a length: the player must stop reading by itself.
      res.writeHead(200, { 'Content-Type': 'text/calendar' });
      const piece = `X-FILLER:${'x'.repeat(1000)}\r\n`.repeat(64);
      for (let i = 0; i < 20; i++) res.write(piece);
      res.end();
    } else {
      res.writeHead(503, { 'Content-Type': 'text/plain' });
      res.end('down for maintenance');
    }
  });
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  return { state, server, root: `http://127.0.0.1:${server.address().port}` };
}

export async function calendarFeedsScenario({ page, base, api, check, waitFor, screenshotAll, outDir }) {
  const { state, server, root } = await districtServer();
  try {
    await page.goto(`${base}/calendar`);
    await page.getByRole('heading', { name: 'Subscribed calendars' }).waitFor();
    const info = JSON.parse((await api(page, '/api/get/calendarInfo')).text);
    const feeds = page.locator('section[aria-labelledby="feeds-title"]');
    const viewport = page.viewportSize();
    // The section alone, where the page's own screenshots would show it small.
    const shoot = async (name) => {
      for (const [label, size] of SIZES) {
        await page.setViewportSize(size);
        await feeds.screenshot({ path: join(outDir, `${name}-${label}.png`) });
      }
      await page.setViewportSize(viewport);
    };
    const storedEvents = async () => JSON.parse((await api(page, '/api/get/calendarInfo')).text).singleEvents.filter((e) => e.feed);

    await feeds.getByLabel('Calendar address').fill('district.example/holidays');
    await feeds.getByRole('button', { name: 'Subscribe' }).click();
    await feeds.getByText("Enter the calendar's full address").waitFor();

    state.ics = districtCalendar(info.date, 'Winter break', 2);
    const url = `${root}/subscribe`;
    await feeds.getByLabel('Calendar address').fill(url);
    await feeds.getByLabel('Name of the calendar (optional)').fill('District holidays');
    await feeds.getByRole('button', { name: 'Subscribe' }).click();
    await feeds.getByText('Subscribed: 2 events fetched.').waitFor();
    let events = await storedEvents();
    check(events.length === 2 && events.every((e) => e.feed === url && e.timeTableId === 'NULL'), `feed events stored as ${JSON.stringify(events)}`);
    check(events.some((e) => e.name === 'Winter break' && e.start.endsWith('-02') && e.end.endsWith('-05')), 'the break is not stored with its days');
    await page.getByRole('button', { name: 'Next month' }).click();
    await waitFor(async () => (await page.locator('table.month td[data-date-day="3"]').getAttribute('data-timetable')) === 'NULL', 'the break shows in the month view');
    check(!(await page.locator('#single-title ~ ul').getByText('Winter break').count()), "the calendar's events are listed with the user's own");

    // The district moves and renames its break: the old events go, the new ones come.
    state.ics = districtCalendar(info.date, 'Winter holidays', 9);
    await feeds.getByRole('button', { name: 'Fetch all calendars now' }).click();
    await feeds.getByText('Every calendar was fetched.').waitFor();
    events = await storedEvents();
    check(events.length === 2 && !events.some((e) => e.name === 'Winter break'), `after the change: ${JSON.stringify(events.map((e) => e.name))}`);
    check(events.some((e) => e.name === 'Winter holidays' && e.start.endsWith('-09')), 'the moved break is missing');
    await feeds.getByText('Show the 2 events').click();
    await feeds.getByText(/^Winter holidays, 9\s*–\s*12 \w+ \d{4}$/).waitFor();

    // The server is down: the events stay, and the page says why and since when.
    state.down = true;
    await feeds.getByRole('button', { name: 'Fetch all calendars now' }).click();
    await feeds.getByText('One calendar could not be fetched; its events stay as they were.').waitFor();
    await feeds.getByText(/Could not be fetched .*: The calendar's server answered with error 503\./).waitFor();
    await feeds.getByText(/The 2 events fetched .* stay in the calendar\./).waitFor();
    check((await storedEvents()).length === 2, 'the events went with the server');
    const problems = await screenshotAll(page, 'calendar-feeds', SIZES);
    await shoot('calendar-feeds-down');

    state.down = false;
    await feeds.getByLabel('Calendar address').fill(`${root}/huge.ics`);
    await feeds.getByLabel('Name of the calendar (optional)').fill('Everything');
    await feeds.getByRole('button', { name: 'Subscribe' }).click();
    await feeds.getByText('Reason: The calendar is too large (more than 1 MiB)').waitFor();
    await shoot('calendar-feeds-too-large');

    await feeds.getByRole('button', { name: 'Delete Everything' }).click();
    await feeds.getByText('Everything is unsubscribed, and its events are removed.').waitFor();
    await feeds.getByRole('button', { name: 'Delete District holidays' }).click();
    await feeds.getByText('No calendar is subscribed.').waitFor();
    check((await storedEvents()).length === 0, 'the events stayed after the subscription ended');
    check(problems.length === 0, problems.join('\n'));
  } finally {
    server.closeAllConnections?.();
    await new Promise((r) => server.close(r));
  }
}
