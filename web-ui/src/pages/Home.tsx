import { useEffect, useRef, useState } from 'preact/hooks';
import { ErrorText, Link, Loading, Outcome, Page } from '../components/ui';
import { getTarget, getTimetables, setAlarm, stopAllSounds, updateSettings } from '../lib/api';
import { bellsAfter } from '../lib/bells';
import { timetableName, typeOfDayLabel } from '../lib/calendar';
import { rich, t } from '../i18n';
import { clockText, listText, longDate, timeText } from '../i18n/format';
import { Tomorrow } from '../components/Tomorrow';
import { dayLook } from '../lib/dayView';
import { messageOf, useAction, useFallbackPolling, useInterval, useLoad } from '../lib/hooks';
import { changedPart, useLiveEvents } from '../lib/live';
import { notifyChanged, useChanged } from '../lib/playerState';
import { clockDrift, zoneText } from '../lib/playerClock';
import { entrySummary } from '../lib/soundLog';
import type { AudioAsset, CalendarInfo, Overview, Settings, Status, TimeTable, TimetableInfo } from '../lib/types';
import { NULL_ID } from '../lib/types';

const FOLLOW_CALENDAR = '';

function whyText(info: TimetableInfo): string {
  switch (info.source) {
    case 'DISABLED':
      return t('home.why.disabled');
    case 'DAILY_OVERRIDE':
      return info.id === NULL_ID ? t('home.why.noneByHand') : t('home.why.byHand');
    default:
      return info.id === NULL_ID ? t('home.why.noneInCalendar') : t('home.why.calendar');
  }
}

/** The player's clock, polled every second. */
function useStatus(): { status?: Status; error?: string } {
  const [status, setStatus] = useState<Status>();
  const [error, setError] = useState<string>();
  const poll = () =>
    getTarget<Status>('status').then(
      (s) => {
        setStatus(s);
        setError(undefined);
      },
      (e) => setError(messageOf(e)),
    );
  useInterval(poll, 1000);
  useEffect(() => {
    void poll();
  }, []);
  // What plays shows at once, not at the next tick.
  useLiveEvents(['playing', 'sound', 'saveError'], () => void poll());
  return { status, error };
}

/** While the bells are off: the next bell of the day's timetable, which will not ring. */
function SilencedBell(props: { timetable?: TimeTable; now?: string }) {
  const next = props.timetable && props.now ? bellsAfter(props.timetable, props.now) : [];
  if (next.length === 0) return <>{t('home.bellsOffNow')}</>;
  return <>{rich('home.bellsOffNext', { time: clockText(next[0].seconds), b: (words) => <strong>{words}</strong> })}</>;
}

function NextBells(props: { timetable?: TimeTable; now?: string; signals: AudioAsset[]; missing: string[] }) {
  if (!props.timetable || !props.now) return null;
  const next = bellsAfter(props.timetable, props.now);
  if (next.length === 0) return <>{t('home.noMoreBells')}</>;
  const name = (id: string) => {
    const signal = props.signals.find((s) => s.id === id);
    if (!signal) return t('home.deletedSignal');
    return props.missing.includes(id) ? t('home.fileMissing', { name: signal.name }) : signal.name;
  };
  return (
    <>
      <strong>{clockText(next[0].seconds)}</strong> {next[0].what} ({name(next[0].signalId)})
      {next.length > 1 && (
        <span class="muted small later-today">
          <br />
          {t('home.laterToday', { times: listText(next.slice(1).map((b) => clockText(b.seconds))) })}
        </span>
      )}
    </>
  );
}

/** Whether a time service keeps the player's clock right: bells follow that clock. */
function ClockHealth(props: { clock: Status['clock'] }) {
  const { clock } = props;
  if (clock === undefined || clock === null) return null;
  if (!clock.synchronised) {
    return (
      <p class="msg msg-warn small" role="alert">
        {rich('home.notSynchronised', { b: (words) => <strong>{words}</strong> })}
      </p>
    );
  }
  return (
    <p class="muted small">
      {clock.estimatedErrorMs !== null ? t('home.synchronisedWithin', { ms: clock.estimatedErrorMs }) : t('home.synchronised')}
    </p>
  );
}

function Clock(props: { status?: Status; error?: string }) {
  const { status, error } = props;
  const drift = status ? clockDrift(status, new Date()) : undefined;
  const action = useAction();
  const stop = () =>
    void action.run(async () => {
      await stopAllSounds();
      notifyChanged();
    });
  return (
    <div class="card clock-card">
      <h2 class="small-heading">{t('home.clockTitle')}</h2>
      <p class="clock" aria-label={t('home.clockLabel')}>
        <time>{status?.time ? timeText(status.time, true) : '--:--:--'}</time>
      </p>
      {status?.timeZone && <p class="muted small">{t('home.timeZone', { zone: zoneText(status.timeZone) })}</p>}
      <ClockHealth clock={status?.clock} />
      {drift !== undefined && (
        <p class="msg msg-warn small" role="status">
          {t('home.drift', { drift })}
        </p>
      )}
      <p aria-live="polite" class={status?.isPlaying ? 'playing' : 'muted'}>
        {status ? (status.isPlaying ? t('home.playingNow') : t('home.silent')) : ''}
      </p>
      <button type="button" onClick={stop} disabled={action.busy}>
        {t('common.stopAllSounds')}
      </button>
      {/* Room kept for it, so that the first sound of the day moves nothing below. */}
      <p class={`small last-sound ${status?.lastSound?.outcome === 'failed' ? 'last-failed' : 'muted'}`}>
        {status?.lastSound ? (
          <>
            {t('home.lastSound', { summary: entrySummary(status.lastSound) })} <Link href="/log">{t('home.seeLog')}</Link>
          </>
        ) : null}
      </p>
      <Outcome action={action} />
      {error ? <ErrorText error={t('home.clockError', { error })} /> : null}
    </div>
  );
}

/** A press this soon after another screen turned the button round was meant for what it showed before. */
const CHANGE_GRACE_MS = 800;

function AlarmButton(props: { active: boolean; onChanged: () => Promise<void> }) {
  const action = useAction();
  // The state this button asked for, and until when its arrival is this button's own doing.
  const own = useRef({ wanted: false, until: 0 });
  const shown = useRef({ active: props.active, before: props.active, at: 0 });
  if (shown.current.active !== props.active) {
    shown.current = { active: props.active, before: shown.current.active, at: props.active === own.current.wanted && Date.now() < own.current.until ? 0 : Date.now() };
  }
  // Says which state is wanted, so that two screens pressing at once cannot undo each other,
  // also when the other screen's press turns this button round just under the finger.
  const toggle = () => {
    const { active, before, at } = shown.current;
    const start = !(Date.now() - at < CHANGE_GRACE_MS ? before : active);
    // One press answers for the change it may have missed; the next one sees what is shown.
    shown.current = { ...shown.current, at: 0 };
    if (start && !window.confirm(t('home.alarmConfirm'))) return;
    own.current = { wanted: start, until: Infinity };
    void action
      .run(async () => {
        await setAlarm(start);
        await props.onChanged();
        notifyChanged();
      })
      .finally(() => {
        own.current.until = Date.now() + CHANGE_GRACE_MS;
      });
  };
  return (
    <div class="card alarm-card">
      <h2>{t('home.alarm')}</h2>
      <button
        type="button"
        class={`alarm ${props.active ? 'alarm-on' : ''}`}
        aria-pressed={props.active}
        onClick={toggle}
        disabled={action.busy}
      >
        {props.active ? t('home.stopAlarm') : t('home.startAlarm')}
      </button>
      <p class={props.active ? 'alarm-state-on' : 'muted'} role="status">
        {props.active ? t('home.alarmRinging') : t('home.alarmOff')}
      </p>
      <Outcome action={action} />
    </div>
  );
}

export function HomePage() {
  const overview = useLoad(() => getTarget<Overview>('overview'));
  const { status, error: statusError } = useStatus();
  const timetables = useLoad(getTimetables, [overview.data?.activeTimetableInfo.id]);
  const signals = useLoad(() => getTarget<AudioAsset[]>('signals'));
  const missing = useLoad(() => getTarget<string[]>('missingAudioFiles').catch((): string[] => []));
  const settings = useLoad(() => getTarget<Settings>('settings'));
  const action = useAction();
  useFallbackPolling(() => {
    void overview.reload();
  }, 10000);
  const calendar = useLoad(() => getTarget<CalendarInfo>('calendarInfo'), [overview.data?.activeTimetableInfo.date]);
  useChanged(() => {
    void calendar.reload();
    void overview.reload();
    void settings.reload();
  });
  useLiveEvents(['alarm', 'bells', 'database'], (name, data) => {
    const part = name === 'database' ? changedPart(data) : undefined;
    if (name !== 'database' || part !== 'signals') void overview.reload();
    if (name === 'bells' || name === 'reconnected' || part === 'settings') void settings.reload();
    if (name === 'reconnected' || part === 'timetables') void timetables.reload();
    if (name === 'reconnected' || part === 'signals') {
      void signals.reload();
      void missing.reload();
    }
  });

  const refresh = async () => {
    await Promise.all([overview.reload(), settings.reload()]);
  };

  // Shown while a change is on its way, so a control does not jump back until the answer comes.
  const [pending, setPending] = useState<{ enable?: boolean; today?: string }>({});
  const change = (changes: Record<string, unknown>, text: string) =>
    action
      .run(async () => {
        await updateSettings(changes);
        await refresh();
        notifyChanged();
        return text;
      })
      .finally(() => setPending({}));

  const o = overview.data;
  const s = settings.data;
  const info = o?.activeTimetableInfo;
  const timetableNames = o?.timetables ?? [];
  const active = info && info.source !== 'DISABLED' ? timetables.data?.find((t) => t.id === info.id) : undefined;
  const bellsOff = info?.source === 'DISABLED';
  const silenced = bellsOff ? timetables.data?.find((t) => t.id === o?.silencedTimetableId) : undefined;
  const selected = s?.dailyPreferences?.selectedTimetableId ?? null;
  // Today as the calendar has it, so that a day off by an event is named as that event.
  const todayCell = o?.calendar.days.find((d) => d.isToday);

  return (
    <Page title={t('home.title')}>
      {o?.passwordMissing ? (
        <p class="msg msg-warn" role="status">
          {rich('home.noPassword', { link: (words) => <Link href="/settings#password">{words}</Link> })}
        </p>
      ) : null}
      {info && info.id !== NULL_ID && o && !o.timetables.some((t) => t.id === info.id) ? (
        <p class="msg msg-error" role="alert">
          {rich('home.timetableGone', { id: info.id, link: (words) => <Link href="/timetables">{words}</Link> })}
        </p>
      ) : null}
      <ErrorText error={overview.error} />
      <ErrorText error={settings.error} />
      <div class="grid">
        <Clock status={status} error={statusError} />
        <AlarmButton active={!!o?.alarmActive} onChanged={overview.reload} />
        <div class="card today-card">
          <h2>{t('home.today')}</h2>
          {!info ? (
            <Loading text={t('loading.todaysTimetable')} />
          ) : (
            <dl class="facts">
              <dt>{t('home.date')}</dt>
              <dd>{longDate(info.date)}</dd>
              <dt>{t('common.typeOfDay')}</dt>
              <dd>{todayCell && calendar.data ? dayLook(info.date, todayCell, calendar.data, selected).label : typeOfDayLabel(info.typeOfDay)}</dd>
              <dt>{t('home.activeTimetable')}</dt>
              <dd>
                <strong>{info.id === NULL_ID ? t('common.none') : timetableName(info.id, timetableNames)}</strong>
                <br />
                <span class="muted">{whyText(info)}</span>
              </dd>
              <dt>{t('home.nextBell')}</dt>
              <dd>
                {active ? (
                  <NextBells timetable={active} now={status?.time} signals={signals.data ?? []} missing={missing.data ?? []} />
                ) : bellsOff ? (
                  <SilencedBell timetable={silenced} now={status?.time} />
                ) : (
                  t('home.noneToday')
                )}
              </dd>
              <dt>{t('home.tomorrow')}</dt>
              <dd>{o && calendar.data && <Tomorrow today={info.date} month={o.calendar} calendar={calendar.data} timetables={timetables.data} bellsOff={bellsOff} />}</dd>
              <dt>{t('home.nextProgramme')}</dt>
              <dd>{info.programmeToday ?? t('home.nothingProgrammed')}</dd>
            </dl>
          )}
        </div>
        <div class="card">
          <h2>{t('home.bells')}</h2>
          {!s ? (
            <Loading text={t('loading.settings')} />
          ) : (
            <>
              <div class="field-inline switch">
                <input
                  id="scheduler-enable"
                  type="checkbox"
                  role="switch"
                  checked={pending.enable ?? s.schedulerEnable}
                  disabled={action.busy}
                  onChange={(e) => {
                    const on = e.currentTarget.checked;
                    if (
                      !on &&
                      !window.confirm(t('home.switchOffConfirm'))
                    ) {
                      e.currentTarget.checked = true;
                      return;
                    }
                    setPending({ enable: on });
                    void change({ schedulerEnable: on }, on ? t('home.bellsOn') : t('home.bellsOff'));
                  }}
                />
                <label for="scheduler-enable">{t('home.ringAutomatically')}</label>
              </div>
              <p class="muted small">{t('home.switchHint')}</p>
              <div class="field">
                <label for="today-timetable">{t('home.todayOnly')}</label>
                <select
                  id="today-timetable"
                  value={pending.today ?? selected ?? FOLLOW_CALENDAR}
                  disabled={action.busy}
                  onChange={(e) => {
                    const v = e.currentTarget.value;
                    setPending({ today: v });
                    void change(
                      { 'dailyPreferences.selectedTimetableId': v === FOLLOW_CALENDAR ? null : v },
                      v === FOLLOW_CALENDAR ? t('home.followsAgain') : t('home.todayChanged'),
                    );
                  }}
                >
                  <option value={FOLLOW_CALENDAR}>{t('home.followCalendar')}</option>
                  {timetableNames.map((t) => (
                    <option key={t.id} value={t.id}>
                      {t.name}
                    </option>
                  ))}
                  <option value={NULL_ID}>{t('home.noBellsToday')}</option>
                </select>
                <small class="muted">{t('home.choiceEnds')}</small>
              </div>
            </>
          )}
          <Outcome action={action} />
        </div>
      </div>
    </Page>
  );
}
