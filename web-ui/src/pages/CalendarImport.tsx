// "Import from a calendar file": the player reads an .ics file, the user picks the events and
// what each one rings, and the chosen ones become single events.
import { useState } from 'preact/hooks';
import { ErrorText, Outcome } from '../components/ui';
import { importEvents, previewIcs, type IcsEvent } from '../lib/api';
import { useAction } from '../lib/hooks';
import { checkPeriod } from '../lib/time';
import type { CalendarInfo } from '../lib/types';
import { NULL_ID } from '../lib/types';
import { t } from '../i18n';
import { dayRange } from '../i18n/format';

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

const daysText = (e: IcsEvent) => dayRange(e.start, e.end);

function TimetableOptions(props: { info: CalendarInfo }) {
  return (
    <>
      <option value={NULL_ID}>{t('calendar.noBells')}</option>
      {props.info.timetables.map((tt) => (
        <option key={tt.id} value={tt.id}>
          {tt.name}
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
      setProblem(t('import.chooseFile'));
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
      return t('import.found', { count: events.length });
    });
  };
  const change = (index: number, changes: Partial<Row>) => setRows((old) => old.map((r, i) => (i === index ? { ...r, ...changes } : r)));
  const chosen = rows.filter((r) => r.take);
  const doImport = () =>
    importing.run(async () => {
      const answer = await importEvents(chosen.map((r) => ({ name: r.summary, start: r.start, end: r.end, timeTableId: r.timeTableId })));
      setRows([]);
      await props.onChanged();
      const added = t('import.imported', { count: answer.added });
      return answer.skipped ? `${added} ${t('import.skipped', { count: answer.skipped })}` : added;
    });

  return (
    <section class="card" aria-labelledby="import-title">
      <h2 id="import-title">{t('import.title')}</h2>
      <p class="muted small">{t('import.intro')}</p>
      <form onSubmit={read} noValidate>
        <div class="row">
          <div class="field">
            <label for="ics-file">{t('import.file')}</label>
            <input id="ics-file" type="file" accept=".ics,text/calendar" onChange={(e) => setFile(e.currentTarget.files?.[0])} />
          </div>
          <div class="field">
            <label for="ics-from">{t('import.from')}</label>
            <input id="ics-from" type="date" value={from} onInput={(e) => setFrom(e.currentTarget.value)} />
          </div>
          <div class="field">
            <label for="ics-to">{t('import.until')}</label>
            <input id="ics-to" type="date" value={to} onInput={(e) => setTo(e.currentTarget.value)} />
          </div>
        </div>
        <ErrorText error={problem} />
        <button type="submit" disabled={reading.busy}>
          {reading.busy ? t('import.reading') : t('import.show')}
        </button>
      </form>
      <Outcome action={reading} />
      {rows.length > 0 && (
        <>
          <div class="field">
            <label for="ics-all">{t('import.allTimetable')}</label>
            <select id="ics-all" onChange={(e) => setRows((old) => old.map((r) => ({ ...r, timeTableId: e.currentTarget.value })))}>
              <option value="">{t('import.choose')}</option>
              <TimetableOptions info={info} />
            </select>
          </div>
          <div class="table-wrap">
            <table class="data ics-preview">
              <caption class="visually-hidden">{t('import.caption')}</caption>
              <thead>
                <tr>
                  <th scope="col">{t('import.take')}</th>
                  <th scope="col">{t('import.event')}</th>
                  <th scope="col">{t('import.days')}</th>
                  <th scope="col">{t('common.timetable')}</th>
                </tr>
              </thead>
              <tbody>
                {rows.map((r, i) => {
                  const what = t('import.what', { name: r.summary || t('import.unnamed'), days: daysText(r) });
                  return (
                    <tr key={`${i}-${r.start}-${r.summary}`}>
                      <td>
                        <input type="checkbox" checked={r.take} aria-label={t('import.takeNamed', { what })} onChange={(e) => change(i, { take: e.currentTarget.checked })} />
                      </td>
                      <th scope="row">{r.summary || t('import.unnamed')}</th>
                      <td>{daysText(r)}</td>
                      <td>
                        <select value={r.timeTableId} aria-label={t('import.timetableFor', { what })} onChange={(e) => change(i, { timeTableId: e.currentTarget.value })}>
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
            {t('import.submit', { count: chosen.length })}
          </button>
        </>
      )}
      <Outcome action={importing} />
    </section>
  );
}
