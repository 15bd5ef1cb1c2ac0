import { useEffect, useState } from 'preact/hooks';
import { ErrorText, Link, Loading, Outcome, Page } from '../components/ui';
import { getTarget, getTimetables, setAlarm, stopAllSounds, updateSettings } from '../lib/api';
import { bellsAfter } from '../lib/bells';
import { MONTHS, timetableName, typeOfDayLabel, WEEKDAYS } from '../lib/calendar';
import { formatTime, parseDate } from '../lib/time';
import { messageOf, useAction, useInterval, useLoad } from '../lib/hooks';
import { notifyChanged, useChanged } from '../lib/playerState';
import { clockDrift, zoneText } from '../lib/playerClock';
import { entrySummary } from '../lib/soundLog';
import type { AudioAsset, Overview, Settings, Status, TimeTable, TimetableInfo } from '../lib/types';
import { NULL_ID } from '../lib/types';

const FOLLOW_CALENDAR = '';

/** "Tuesday 8 December 2026" from the player's day text and weekday. */
function longDate(date: string, dayOfWeek: number): string {
  const parsed = parseDate(date);
  if (!parsed.ok) return date;
  const { y, m, d } = parsed.value;
  return `${WEEKDAYS[dayOfWeek] ?? ''} ${d} ${MONTHS[m - 1]} ${y}`;
}

function whyText(info: TimetableInfo): string {
  switch (info.source) {
    case 'DISABLED':
      return 'Automatic bells are switched off: nothing rings by itself.';
    case 'DAILY_OVERRIDE':
      return info.id === NULL_ID ? 'No bells today, chosen by hand for today only.' : `Chosen by hand for today only.`;
    default:
      return info.id === NULL_ID ? `No bells today: the calendar has no timetable for this day.` : `From the calendar.`;
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
  return { status, error };
}

const at = (s: number) => formatTime({ h: Math.floor(s / 3600), m: Math.floor((s % 3600) / 60), s: s % 60 });

/** While the bells are off: the next bell of the day's timetable, which will not ring. */
function SilencedBell(props: { timetable?: TimeTable; now?: string }) {
  const next = props.timetable && props.now ? bellsAfter(props.timetable, props.now) : [];
  if (next.length === 0) return <>Bells are off.</>;
  return (
    <>
      Bells are off: the <strong>{at(next[0].seconds)}</strong> bell will not ring.
    </>
  );
}

function NextBells(props: { timetable?: TimeTable; now?: string; signals: AudioAsset[]; missing: string[] }) {
  if (!props.timetable || !props.now) return null;
  const next = bellsAfter(props.timetable, props.now);
  if (next.length === 0) return <>No more bells today.</>;
  const name = (id: string) => {
    const signal = props.signals.find((s) => s.id === id);
    if (!signal) return 'a deleted signal: it will not ring';
    return props.missing.includes(id) ? `${signal.name}: its file is missing, it will not ring` : signal.name;
  };
  return (
    <>
      <strong>{at(next[0].seconds)}</strong> {next[0].what} ({name(next[0].signalId)})
      {next.length > 1 && <span class="muted"> · {next.length - 1} more today, the last at {at(next[next.length - 1].seconds)}</span>}
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
        <strong>The player's clock is not synchronised</strong> with a time server. Bells follow this computer's clock:
        check its time, and its time service (NTP).
      </p>
    );
  }
  return (
    <p class="muted small">
      Synchronised with a time server{clock.estimatedErrorMs !== null ? ` (within about ${clock.estimatedErrorMs} ms)` : ''}.
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
      <h2 class="small-heading">The player's clock</h2>
      <p class="clock" aria-label="Time on the player">
        <time>{status?.time ?? '--:--:--'}</time>
      </p>
      {status?.timeZone && <p class="muted small">Time zone of the player: {zoneText(status.timeZone)}</p>}
      <ClockHealth clock={status?.clock} />
      {drift !== undefined && (
        <p class="msg msg-warn small" role="status">
          This device's clock differs from the player's by {drift}. Bells follow the player's clock.
        </p>
      )}
      <p aria-live="polite" class={status?.isPlaying ? 'playing' : 'muted'}>
        {status ? (status.isPlaying ? '♪ Playing a sound now' : 'Silent') : ''}
      </p>
      <button type="button" onClick={stop} disabled={action.busy}>
        Stop all sounds
      </button>
      {status?.lastSound ? (
        <p class={`small ${status.lastSound.outcome === 'failed' ? 'msg msg-error' : 'muted'}`}>
          Last sound: {entrySummary(status.lastSound)}. <Link href="/log">See the log</Link>
        </p>
      ) : null}
      <Outcome action={action} />
      {error ? <ErrorText error={`Clock: ${error}`} /> : null}
    </div>
  );
}

function AlarmButton(props: { active: boolean; onChanged: () => Promise<void> }) {
  const action = useAction();
  // Says which state is wanted, so that two screens pressing at once cannot undo each other.
  const toggle = () => {
    const start = !props.active;
    if (start && !window.confirm('Start the alarm? It rings again and again until you stop it here.')) return;
    void action.run(async () => {
      await setAlarm(start);
      await props.onChanged();
      notifyChanged();
    });
  };
  return (
    <div class="card alarm-card">
      <h2>Alarm</h2>
      <button
        type="button"
        class={`alarm ${props.active ? 'alarm-on' : ''}`}
        aria-pressed={props.active}
        onClick={toggle}
        disabled={action.busy}
      >
        {props.active ? 'Stop the alarm' : 'Start the alarm'}
      </button>
      <p class={props.active ? 'alarm-state-on' : 'muted'} role="status">
        {props.active ? 'The alarm is ringing.' : 'The alarm is off.'}
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
  useInterval(() => {
    void overview.reload();
  }, 10000);
  useChanged(() => {
    void overview.reload();
    void settings.reload();
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

  return (
    <Page title="Home">
      {o?.passwordMissing ? (
        <p class="msg msg-warn" role="status">
          The dashboard has no password: anyone on the school network can change the bells.{' '}
          <Link href="/settings#password">Set a password</Link>.
        </p>
      ) : null}
      {info && info.id !== NULL_ID && o && !o.timetables.some((t) => t.id === info.id) ? (
        <p class="msg msg-error" role="alert">
          Today's timetable ({info.id}) no longer exists, so no lesson bells ring today. Choose another default timetable
          under <Link href="/timetables">Timetables</Link>, or a timetable for today below.
        </p>
      ) : null}
      <ErrorText error={overview.error} />
      <ErrorText error={settings.error} />
      <div class="grid">
        <Clock status={status} error={statusError} />
        <AlarmButton active={!!o?.alarmActive} onChanged={overview.reload} />
        <div class="card today-card">
          <h2>Today</h2>
          {!info ? (
            <Loading what="today's timetable" />
          ) : (
            <dl class="facts">
              <dt>Date</dt>
              <dd>
                {longDate(info.date, info.dayOfWeek)}
              </dd>
              <dt>Type of day</dt>
              <dd>{typeOfDayLabel(info.typeOfDay)}</dd>
              <dt>Active timetable</dt>
              <dd>
                <strong>{info.id === NULL_ID ? 'None' : timetableName(info.id, timetableNames)}</strong>
                <br />
                <span class="muted">{whyText(info)}</span>
              </dd>
              <dt>Next bell</dt>
              <dd>
                {active ? (
                  <NextBells timetable={active} now={status?.time} signals={signals.data ?? []} missing={missing.data ?? []} />
                ) : bellsOff ? (
                  <SilencedBell timetable={silenced} now={status?.time} />
                ) : (
                  'None today.'
                )}
              </dd>
              <dt>Next programme</dt>
              <dd>{info.programmeToday ?? 'Nothing more is programmed for today.'}</dd>
            </dl>
          )}
        </div>
        <div class="card">
          <h2>Bells</h2>
          {!s ? (
            <Loading what="settings" />
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
                      !window.confirm(
                        'Switch off the automatic bells? From now on no timetable bell and no programme rings, today and on every following day, until someone switches them on again here.',
                      )
                    ) {
                      e.currentTarget.checked = true;
                      return;
                    }
                    setPending({ enable: on });
                    void change({ schedulerEnable: on }, on ? 'Automatic bells are on.' : 'Automatic bells are off.');
                  }}
                />
                <label for="scheduler-enable">Ring the bells automatically</label>
              </div>
              <p class="muted small">Switch this off to silence every timetable bell and programme until you switch it on again.</p>
              <div class="field">
                <label for="today-timetable">Timetable for today only</label>
                <select
                  id="today-timetable"
                  value={pending.today ?? selected ?? FOLLOW_CALENDAR}
                  disabled={action.busy}
                  onChange={(e) => {
                    const v = e.currentTarget.value;
                    setPending({ today: v });
                    void change(
                      { 'dailyPreferences.selectedTimetableId': v === FOLLOW_CALENDAR ? null : v },
                      v === FOLLOW_CALENDAR ? 'Today follows the calendar again.' : 'Today\'s timetable is changed. Tomorrow follows the calendar again.',
                    );
                  }}
                >
                  <option value={FOLLOW_CALENDAR}>Follow the calendar</option>
                  {timetableNames.map((t) => (
                    <option key={t.id} value={t.id}>
                      {t.name}
                    </option>
                  ))}
                  <option value={NULL_ID}>No bells today</option>
                </select>
                <small class="muted">The choice ends at midnight.</small>
              </div>
            </>
          )}
          <Outcome action={action} />
        </div>
      </div>
    </Page>
  );
}
