// The log of every sound: a day's sounds with when they were due, when they started and how.
import { useState } from 'preact/hooks';
import { ErrorText, Loading, Page } from '../components/ui';
import { getHistory } from '../lib/api';
import { useInterval, useLoad } from '../lib/hooks';
import { useChanged } from '../lib/playerState';
import { latenessText, shiftDay, sourceLabel, timeOf } from '../lib/soundLog';
import type { HistoryEntry } from '../lib/types';

const TODAY_REFRESH_MS = 10000;

function Row(props: { entry: HistoryEntry }) {
  const e = props.entry;
  const failed = e.outcome === 'failed';
  const skipped = e.outcome === 'skipped';
  return (
    <tr class={failed ? 'row-failed' : skipped ? 'row-skipped' : undefined}>
      <td>{timeOf(e.due) || <span class="muted">by hand</span>}</td>
      <td>{timeOf(e.started) || '–'}</td>
      <td>{latenessText(e.lateMs)}</td>
      <td>
        {sourceLabel(e.source)}
        {e.name ? `: ${e.name}` : ''}
      </td>
      <td>
        {failed ? (
          <strong>Failed{e.reason ? `: ${e.reason}` : ''}</strong>
        ) : skipped ? (
          `Did not ring${e.reason ? `: ${e.reason}` : ''}`
        ) : (
          'Started'
        )}
      </td>
    </tr>
  );
}

export function LogPage() {
  // Empty: the player's today.
  const [date, setDate] = useState('');
  const log = useLoad(() => getHistory(date || undefined), [date]);
  useInterval(() => {
    if (!date) void log.reload();
  }, TODAY_REFRESH_MS);
  useChanged(() => void log.reload());
  const entries = log.data ?? [];
  const shown = date || entries[0]?.due?.slice(0, 10) || entries[0]?.started?.slice(0, 10) || '';
  const base = date || shown || new Date().toISOString().slice(0, 10);
  const failures = entries.filter((e) => e.outcome === 'failed').length;
  const skips = entries.filter((e) => e.outcome === 'skipped').length;

  return (
    <Page title="Log">
      <p class="muted">Every sound the player started, failed to start or did not ring, with the second it was due.</p>
      <div class="toolbar">
        <button type="button" onClick={() => setDate(shiftDay(base, -1))}>
          ◀ Earlier day
        </button>
        <label for="log-date">Day</label>
        <input id="log-date" type="date" value={date || shown} onChange={(e) => setDate(e.currentTarget.value)} />
        <button type="button" disabled={!date} onClick={() => setDate(shiftDay(base, 1))}>
          Later day ▶
        </button>
        <button type="button" disabled={!date} onClick={() => setDate('')}>
          Today
        </button>
      </div>
      <ErrorText error={log.error} />
      {log.loading && !log.data ? (
        <Loading what="the log" />
      ) : entries.length === 0 ? (
        <p role="status">No sound on this day.</p>
      ) : (
        <>
          <p role="status">
            {entries.length} {entries.length === 1 ? 'sound' : 'sounds'}
            {failures > 0 ? `, ${failures} failed` : ''}
            {skips > 0 ? `, ${skips} did not ring` : ''}.
          </p>
          <div class="table-wrap">
            <table class="data log-table">
              <caption class="visually-hidden">Sounds of the day</caption>
              <thead>
                <tr>
                  <th scope="col">Due</th>
                  <th scope="col">Started</th>
                  <th scope="col">Lateness</th>
                  <th scope="col">What</th>
                  <th scope="col">Outcome</th>
                </tr>
              </thead>
              <tbody>
                {entries.map((e, i) => (
                  <Row key={i} entry={e} />
                ))}
              </tbody>
            </table>
          </div>
        </>
      )}
    </Page>
  );
}
