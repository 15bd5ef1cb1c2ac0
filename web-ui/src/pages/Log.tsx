// The log of every sound: a day's sounds with when they were due, when they started and how.
import { useState } from 'preact/hooks';
import { ErrorText, Loading, Page } from '../components/ui';
import { getHistory } from '../lib/api';
import { useFallbackPolling, useLoad } from '../lib/hooks';
import { useLiveEvents } from '../lib/live';
import { useChanged } from '../lib/playerState';
import { clockOf, entryName, latenessText, shiftDay, sourceLabel } from '../lib/soundLog';
import { t } from '../i18n';
import { longDate } from '../i18n/format';
import type { HistoryEntry } from '../lib/types';

const TODAY_REFRESH_MS = 10000;

function Row(props: { entry: HistoryEntry }) {
  const e = props.entry;
  const failed = e.outcome === 'failed';
  const skipped = e.outcome === 'skipped';
  return (
    // data-label: the column's heading beside each value where the rows stack (phones).
    <tr class={failed ? 'row-failed' : skipped ? 'row-skipped' : undefined}>
      <td data-label={t('log.due')}>{clockOf(e.due) || <span class="muted">{t('log.byHand')}</span>}</td>
      <td data-label={t('log.started')}>{clockOf(e.started) || '–'}</td>
      <td data-label={t('log.lateness')}>{latenessText(e.lateMs)}</td>
      <td data-label={t('log.what')}>
        {sourceLabel(e.source)}
        {entryName(e) ? `: ${entryName(e)}` : ''}
      </td>
      <td data-label={t('log.outcome')}>
        {failed ? (
          <strong>{e.reason ? t('log.failedReason', { reason: e.reason }) : t('log.failed')}</strong>
        ) : skipped ? (
          e.reason ? t('log.skippedReason', { reason: e.reason }) : t('log.skipped')
        ) : (
          t('log.started')
        )}
      </td>
    </tr>
  );
}

export function LogPage() {
  // Empty: the player's today.
  const [date, setDate] = useState('');
  const log = useLoad(() => getHistory(date || undefined), [date]);
  useFallbackPolling(() => {
    if (!date) void log.reload();
  }, TODAY_REFRESH_MS);
  useChanged(() => void log.reload());
  useLiveEvents(['sound'], () => void log.reload());
  const entries = log.data ?? [];
  const shown = date || entries[0]?.due?.slice(0, 10) || entries[0]?.started?.slice(0, 10) || '';
  const base = date || shown || new Date().toISOString().slice(0, 10);
  const failures = entries.filter((e) => e.outcome === 'failed').length;
  const skips = entries.filter((e) => e.outcome === 'skipped').length;

  return (
    <Page title={t('log.title')}>
      <p class="muted">{t('log.intro')}</p>
      <div class="toolbar">
        <button type="button" onClick={() => setDate(shiftDay(base, -1))}>
          {t('log.earlier')}
        </button>
        <label for="log-date">{t('log.day')}</label>
        <input id="log-date" type="date" value={date || shown} onChange={(e) => setDate(e.currentTarget.value)} />
        <button type="button" disabled={!date} onClick={() => setDate(shiftDay(base, 1))}>
          {t('log.later')}
        </button>
        <button type="button" disabled={!date} onClick={() => setDate('')}>
          {t('common.today')}
        </button>
      </div>
      <ErrorText error={log.error} />
      {log.loading && !log.data ? (
        <Loading text={t('loading.log')} />
      ) : entries.length === 0 ? (
        <p role="status">{t('log.none')}</p>
      ) : (
        <>
          <p role="status">{t('log.count', { day: longDate(shown), count: entries.length, failed: failures, skipped: skips })}</p>
          <div class="table-wrap">
            <table class="data log-table">
              <caption class="visually-hidden">{t('log.caption')}</caption>
              <thead>
                <tr>
                  <th scope="col">{t('log.due')}</th>
                  <th scope="col">{t('log.started')}</th>
                  <th scope="col">{t('log.lateness')}</th>
                  <th scope="col">{t('log.what')}</th>
                  <th scope="col">{t('log.outcome')}</th>
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
