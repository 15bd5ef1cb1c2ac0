// "Import from a calendar file": the player reads an .ics file, the user picks the events and
// what each one rings, and the chosen ones become single events.
import { useState } from 'preact/hooks';
import { ErrorText, Outcome } from '../components/ui';
import { importEvents, previewIcs, type IcsEvent } from '../lib/api';
import { useAction } from '../lib/hooks';
import { checkPeriod } from '../lib/time';
import type { CalendarInfo } from '../lib/types';
import { NULL_ID } from '../lib/types';

interface Row extends IcsEvent {
  take: boolean;
  timeTableId: string;
}

const DEFAULT_MONTHS = 18;

/** The day `months` months after an ISO day (the last day of a shorter month). */
export function monthsLater(iso: string, months: number): string {
  const [y, m, d] = iso.split('-').map(Number);
  const index = y * 12 + (m - 1) + months;
  const year = Math.floor(index / 12);
  const month = (index % 12) + 1;
  const last = new Date(Date.UTC(year, month, 0)).getUTCDate();
  return `${year}-${String(month).padStart(2, '0')}-${String(Math.min(d, last)).padStart(2, '0')}`;
}

const daysText = (e: IcsEvent) => (e.start === e.end ? e.start : `${e.start} to ${e.end}`);

function TimetableOptions(props: { info: CalendarInfo }) {
  return (
    <>
      <option value={NULL_ID}>No bells</option>
      {props.info.timetables.map((t) => (
        <option key={t.id} value={t.id}>
          {t.name}
        </option>
      ))}
    </>
  );
}

export function CalendarImport(props: { info: CalendarInfo; onChanged: () => Promise<void> }) {
  const { info } = props;
  const [file, setFile] = useState<File>();
  const [from, setFrom] = useState(info.date);
  const [to, setTo] = useState(monthsLater(info.date, DEFAULT_MONTHS));
  const [rows, setRows] = useState<Row[]>([]);
  const [problem, setProblem] = useState<string>();
  const reading = useAction();
  const importing = useAction();

  const read = (e: Event) => {
    e.preventDefault();
    importing.clear();
    if (!file) {
      setProblem('Choose a calendar file (.ics) first.');
      return;
    }
    const period = checkPeriod(from, to);
    if (!period.ok) {
      setProblem(period.error);
      return;
    }
    setProblem(undefined);
    setRows([]);
    void reading.run(async () => {
      const events = await previewIcs(file, period.value.start, period.value.end);
      setRows(events.map((ev) => ({ ...ev, take: true, timeTableId: NULL_ID })));
      return `${events.length} ${events.length === 1 ? 'event' : 'events'} found. Tick the ones to take.`;
    });
  };
  const change = (index: number, changes: Partial<Row>) => setRows((old) => old.map((r, i) => (i === index ? { ...r, ...changes } : r)));
  const chosen = rows.filter((r) => r.take);
  const doImport = () =>
    importing.run(async () => {
      const answer = await importEvents(chosen.map((r) => ({ name: r.summary, start: r.start, end: r.end, timeTableId: r.timeTableId })));
      setRows([]);
      await props.onChanged();
      const added = `${answer.added} ${answer.added === 1 ? 'event' : 'events'} imported.`;
      return answer.skipped ? `${added} ${answer.skipped} ${answer.skipped === 1 ? 'was' : 'were'} already in the calendar.` : added;
    });

  return (
    <section class="card" aria-labelledby="import-title">
      <h2 id="import-title">Import from a calendar file</h2>
      <p class="muted small">
        Term dates and public holidays from an iCalendar (.ics) file of your school authority or calendar app. Each event you take becomes a single
        event.
      </p>
      <form onSubmit={read} noValidate>
        <div class="row">
          <div class="field">
            <label for="ics-file">Calendar file (.ics)</label>
            <input id="ics-file" type="file" accept=".ics,text/calendar" onChange={(e) => setFile(e.currentTarget.files?.[0])} />
          </div>
          <div class="field">
            <label for="ics-from">Events from</label>
            <input id="ics-from" type="date" value={from} onInput={(e) => setFrom(e.currentTarget.value)} />
          </div>
          <div class="field">
            <label for="ics-to">Events until</label>
            <input id="ics-to" type="date" value={to} onInput={(e) => setTo(e.currentTarget.value)} />
          </div>
        </div>
        <ErrorText error={problem} />
        <button type="submit" disabled={reading.busy}>
          {reading.busy ? 'Reading…' : 'Show events'}
        </button>
      </form>
      <Outcome action={reading} />
      {rows.length > 0 && (
        <>
          <div class="field">
            <label for="ics-all">Timetable for all events</label>
            <select id="ics-all" onChange={(e) => setRows((old) => old.map((r) => ({ ...r, timeTableId: e.currentTarget.value })))}>
              <option value="">Choose…</option>
              <TimetableOptions info={info} />
            </select>
          </div>
          <div class="table-wrap">
            <table class="data ics-preview">
              <caption class="visually-hidden">Events in the calendar file</caption>
              <thead>
                <tr>
                  <th scope="col">Take</th>
                  <th scope="col">Event</th>
                  <th scope="col">Days</th>
                  <th scope="col">Timetable</th>
                </tr>
              </thead>
              <tbody>
                {rows.map((r, i) => {
                  const what = `${r.summary || 'Event without a name'}, ${daysText(r)}`;
                  return (
                    <tr key={`${i}-${r.start}-${r.summary}`}>
                      <td>
                        <input type="checkbox" checked={r.take} aria-label={`Take ${what}`} onChange={(e) => change(i, { take: e.currentTarget.checked })} />
                      </td>
                      <th scope="row">{r.summary || 'Event without a name'}</th>
                      <td>{daysText(r)}</td>
                      <td>
                        <select value={r.timeTableId} aria-label={`Timetable for ${what}`} onChange={(e) => change(i, { timeTableId: e.currentTarget.value })}>
                          <TimetableOptions info={info} />
                        </select>
                      </td>
                    </tr>
                  );
                })}
              </tbody>
            </table>
          </div>
          <button type="button" class="primary" disabled={importing.busy || chosen.length === 0} onClick={() => void doImport()}>
            Import {chosen.length} {chosen.length === 1 ? 'event' : 'events'}
          </button>
        </>
      )}
      <Outcome action={importing} />
    </section>
  );
}
