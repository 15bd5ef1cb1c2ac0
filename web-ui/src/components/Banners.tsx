// The warnings every page shows: bells switched off, the alarm sounding, a sound playing, a
// bell that failed today, and changes that are not being saved. Each comes with the one action that ends it.
import { setAlarm, stopAllSounds, updateSettings } from '../lib/api';
import { useAction } from '../lib/hooks';
import { notifyChanged, usePlayerWarnings } from '../lib/playerState';
import type { HistoryEntry } from '../lib/types';
import { ErrorText } from './ui';

const SHOWN_FAILURES = 3;

function failureText(e: HistoryEntry): string {
  const when = (e.due ?? e.started ?? '').replace(/^.*[T ]/, '').slice(0, 8);
  const what = e.name || e.signalId || 'a sound';
  return `${when ? `${when} ` : ''}${what}${e.reason ? ` (${e.reason})` : ''}`;
}

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
    <div class="banners" role="region" aria-label="Warnings">
      {alarm && (
        <div class="banner banner-alarm" role="alert">
          <span>
            <strong>The alarm is sounding.</strong> It repeats until someone stops it.
          </span>
          <button type="button" class="banner-button" disabled={action.busy} onClick={() => run(() => setAlarm(false))} aria-label="Stop the sounding alarm">
            Stop
          </button>
        </div>
      )}
      {playing && (
        <div class="banner banner-playing" role="status">
          <span>♪ A sound is playing.</span>
          <button type="button" class="banner-button" disabled={action.busy} onClick={() => run(stopAllSounds)}>
            Stop all sounds
          </button>
        </div>
      )}
      {bellsOff && (
        <div class="banner banner-warn" role="status">
          <span>
            <strong>Bells are switched off.</strong> No timetable bell or programme rings until they are switched on again.
          </span>
          <button type="button" class="banner-button" disabled={action.busy} onClick={() => run(() => updateSettings({ schedulerEnable: true }))}>
            Switch bells on
          </button>
        </div>
      )}
      {failed.length > 0 && (
        <div class="banner banner-error" role="alert">
          <span>
            <strong>{failed.length === 1 ? 'A bell failed today:' : `${failed.length} bells failed today:`}</strong>{' '}
            {failed.slice(-SHOWN_FAILURES).map(failureText).join('; ')}
            {failed.length > SHOWN_FAILURES ? ` and ${failed.length - SHOWN_FAILURES} more` : ''}.
          </span>
        </div>
      )}
      {saveError && (
        <div class="banner banner-error" role="alert">
          <span>
            <strong>Changes are not being saved: {saveError.reason}</strong>
            {saveError.since ? ` (since ${saveError.since.replace('T', ' ')})` : ''}
          </span>
        </div>
      )}
      <ErrorText error={action.error} />
    </div>
  );
}
