// The warnings every page shows: bells switched off, the alarm sounding, a sound playing, a
// bell that failed today, and changes that are not being saved. Each comes with the one action that ends it.
import { setAlarm, stopAllSounds, updateSettings } from '../lib/api';
import { useAction } from '../lib/hooks';
import { notifyChanged, usePlayerWarnings } from '../lib/playerState';
import type { HistoryEntry } from '../lib/types';
import { ErrorText } from './ui';
import { rich, t } from '../i18n';
import { dateTimeText, listText, timeText } from '../i18n/format';

const SHOWN_FAILURES = 3;

function failureText(e: HistoryEntry): string {
  const when = (e.due ?? e.started ?? '').replace(/^.*[T ]/, '').slice(0, 8);
  const values = { time: when ? timeText(when) : '', what: e.name || e.signalId || t('banner.aSound'), reason: e.reason ?? '' };
  return (e.reason ? t('banner.failureReason', values) : t('banner.failure', values)).trim();
}

const bold = (words: unknown) => <strong>{words as string}</strong>;

export function Banners() {
  const { status, overview, failedToday } = usePlayerWarnings();
  const action = useAction();
  const run = (fn: () => Promise<unknown>) =>
    void action.run(async () => {
      await fn();
      notifyChanged();
    });

  const bellsOff = overview?.activeTimetableInfo.source === 'DISABLED';
  const alarm = overview?.alarmActive === true;
  const saveError = status?.saveError;
  const failed = failedToday ?? [];
  // The alarm's own banner stops it; any other sound can be stopped from every page.
  const playing = status?.isPlaying === true && !alarm;
  if (!bellsOff && !alarm && !playing && !saveError && failed.length === 0 && !action.error) return null;
  return (
    <div class="banners" role="region" aria-label={t('banner.region')}>
      {alarm && (
        <div class="banner banner-alarm" role="alert">
          <span>{rich('banner.alarm', { b: bold })}</span>
          <button type="button" class="banner-button" disabled={action.busy} onClick={() => run(() => setAlarm(false))} aria-label={t('banner.stopAlarm')}>
            {t('banner.stop')}
          </button>
        </div>
      )}
      {playing && (
        <div class="banner banner-playing" role="status">
          <span>{t('banner.playing')}</span>
          <button type="button" class="banner-button" disabled={action.busy} onClick={() => run(stopAllSounds)}>
            {t('common.stopAllSounds')}
          </button>
        </div>
      )}
      {bellsOff && (
        <div class="banner banner-warn" role="status">
          <span>{rich('banner.bellsOff', { b: bold })}</span>
          <button type="button" class="banner-button" disabled={action.busy} onClick={() => run(() => updateSettings({ schedulerEnable: true }))}>
            {t('banner.switchOn')}
          </button>
        </div>
      )}
      {failed.length > 0 && (
        <div class="banner banner-error" role="alert">
          <span>
            <strong>{t('banner.failedTitle', { count: failed.length })}</strong>{' '}
            {failed.length > SHOWN_FAILURES
              ? t('banner.failedListMore', { list: failed.slice(-SHOWN_FAILURES).map(failureText).join('; '), count: failed.length - SHOWN_FAILURES })
              : t('banner.failedList', { list: listText(failed.map(failureText)) })}
          </span>
        </div>
      )}
      {saveError && (
        <div class="banner banner-error" role="alert">
          <span>
            <strong>{t('banner.notSaved', { reason: saveError.reason })}</strong>
            {saveError.since ? t('banner.since', { since: dateTimeText(saveError.since) }) : ''}
          </span>
        </div>
      )}
      <ErrorText error={action.error} />
    </div>
  );
}
