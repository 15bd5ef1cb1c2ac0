// The warnings every page shows: the alarm sounding, a sound playing, changes not saved, a
// sound that failed today, bells switched off. Each comes with the one action that ends it.
//
// They live in a bar fixed to the bottom of the window whose height never changes, so a warning
// that comes or goes never moves the page under someone's finger; the most urgent warning shows,
// the others on request, over the page. Away from Home the bar also holds the alarm button, so
// that it is on the first screen of every page on a phone.
import type { ComponentChildren } from 'preact';
import { useEffect, useState } from 'preact/hooks';
import { setAlarm, stopAllSounds, updateSettings } from '../lib/api';
import { useAction } from '../lib/hooks';
import { notifyChanged, usePlayerWarnings } from '../lib/playerState';
import { failureSentence } from '../lib/soundLog';
import { Link } from './ui';
import { rich, t } from '../i18n';
import { dateTimeText } from '../i18n/format';

const SHOWN_FAILURES = 3;

const bold = (words: unknown) => <strong>{words as string}</strong>;

interface Warning {
  key: string;
  tone: 'alarm' | 'playing' | 'warn' | 'error';
  alert: boolean;
  text: ComponentChildren;
  actions?: ComponentChildren;
}

export function Banners(props: { alarmButton: boolean }) {
  const { status, overview, failedToday, acknowledge } = usePlayerWarnings();
  const action = useAction();
  const [open, setOpen] = useState(false);
  const run = (fn: () => Promise<unknown>) =>
    void action.run(async () => {
      await fn();
      notifyChanged();
    });

  const bellsOff = overview?.activeTimetableInfo.source === 'DISABLED';
  const alarm = overview?.alarmActive === true;
  const saveError = status?.saveError;
  const failed = failedToday ?? [];
  // The alarm's own warning stops it; any other sound can be stopped from every page.
  const playing = status?.isPlaying === true && !alarm;

  // Most urgent first.
  const warnings: Warning[] = [];
  if (alarm) {
    warnings.push({
      key: 'alarm',
      tone: 'alarm',
      alert: true,
      text: rich('banner.alarm', { b: bold }),
      actions: (
        <button type="button" class="banner-button" disabled={action.busy} onClick={() => run(() => setAlarm(false))} aria-label={t('banner.stopAlarm')}>
          {t('banner.stop')}
        </button>
      ),
    });
  }
  if (playing) {
    warnings.push({
      key: 'playing',
      tone: 'playing',
      alert: false,
      text: t('banner.playing'),
      actions: (
        <button type="button" class="banner-button" disabled={action.busy} onClick={() => run(stopAllSounds)}>
          {t('common.stopAllSounds')}
        </button>
      ),
    });
  }
  if (action.error) {
    warnings.push({ key: 'action', tone: 'error', alert: true, text: action.error });
  }
  if (saveError) {
    warnings.push({
      key: 'saveError',
      tone: 'error',
      alert: true,
      text: (
        <>
          <strong>{t('banner.notSaved', { reason: saveError.reason })}</strong>
          {saveError.since ? t('banner.since', { since: dateTimeText(saveError.since) }) : ''}
        </>
      ),
    });
  }
  // The newest first: the one most likely to matter now.
  const newest = failed.slice(-SHOWN_FAILURES).reverse();
  newest.forEach((f, i) => {
    const more = i === newest.length - 1 && failed.length > newest.length ? failed.length - newest.length : 0;
    warnings.push({
      key: `failed-${f.due ?? f.failedAt ?? ''}-${f.signalId ?? ''}-${i}`,
      tone: 'error',
      alert: true,
      text: (
        <>
          {failureSentence(f)}
          {more > 0 && (
            <>
              {' '}
              <Link href="/log">{t('banner.moreFailed', { count: more })}</Link>
            </>
          )}
        </>
      ),
      actions: (
        <button type="button" class="banner-button" onClick={() => acknowledge(f)} aria-label={t('banner.acknowledgeNamed', { what: failureSentence(f) })}>
          {t('banner.acknowledge')}
        </button>
      ),
    });
  });
  if (bellsOff) {
    warnings.push({
      key: 'bellsOff',
      tone: 'warn',
      alert: false,
      text: rich('banner.bellsOff', { b: bold }),
      actions: (
        <button type="button" class="banner-button" disabled={action.busy} onClick={() => run(() => updateSettings({ schedulerEnable: true }))}>
          {t('banner.switchOn')}
        </button>
      ),
    });
  }

  // Closed once one warning is left: a new one never opens the list over the page by itself.
  useEffect(() => {
    if (warnings.length <= 1) setOpen(false);
  }, [warnings.length]);
  const expanded = open && warnings.length > 1;
  const first = warnings[0];
  return (
    <div
      class={`status-bar tone-${first?.tone ?? 'calm'}${expanded ? ' status-open' : ''}${props.alarmButton ? ' with-alarm' : ''}`}
      role="region"
      aria-label={t('banner.region')}
    >
      <div class="status-list" id="status-list">
        {expanded ? (
          warnings.map((w) => (
            <div key={w.key} class={`banner banner-${w.tone}`} role={w.alert ? 'alert' : 'status'}>
              <span>{w.text}</span>
              {w.actions && <span class="banner-actions">{w.actions}</span>}
            </div>
          ))
        ) : first ? (
          // Keyed by kind: a new warning is a new element, never an old one moved.
          <p key={first.key} class="banner-text" role={first.alert ? 'alert' : 'status'}>
            {first.text}
          </p>
        ) : (
          <p key="calm" class="banner-text status-calm">
            {t('banner.none')}
          </p>
        )}
      </div>
      <div class="status-actions">
        {!expanded && first?.actions && (
          <span key={first.key} class="banner-actions">
            {first.actions}
          </span>
        )}
      </div>
      <div class="status-more">
        {warnings.length > 1 && (
          <button type="button" class="small-button" aria-expanded={expanded} aria-controls="status-list" onClick={() => setOpen(!expanded)}>
            {expanded ? t('banner.fewer') : t('banner.all', { count: warnings.length })}
          </button>
        )}
      </div>
      {props.alarmButton && (
        <button
          type="button"
          class={`bar-alarm${alarm ? ' alarm-on' : ''}`}
          aria-pressed={alarm}
          disabled={action.busy}
          onClick={() => {
            // Says which state is wanted, so that two screens pressing at once cannot undo each other.
            const start = !alarm;
            if (start && !window.confirm(t('home.alarmConfirm'))) return;
            run(() => setAlarm(start));
          }}
        >
          {alarm ? t('home.stopAlarm') : t('home.startAlarm')}
        </button>
      )}
    </div>
  );
}
