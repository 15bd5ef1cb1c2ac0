import { useState } from 'preact/hooks';
import { ErrorText, Loading, MissingFiles, OkText, Outcome, Page, SignalSelect } from '../components/ui';
import { getTarget, loginCount, logoutEverywhere, updateSettings } from '../lib/api';
import { navigate } from '../lib/router';
import { messageOf, useAction, useLoad } from '../lib/hooks';
import type { AudioAsset, Settings } from '../lib/types';
import { BackupSection } from './Backup';
import { PasswordForm } from './Welcome';

interface Info {
  version: string;
  internetAccess: boolean;
}

const MAX_ALARM_PAUSE_SEC = 600;

/** Reads the alarm pause; undefined when it is not a number of seconds in range. */
export function parsePause(text: string): number | undefined {
  if (!/^\s*\d+(\.\d+)?\s*$/.test(text)) return undefined;
  const n = Number(text);
  return n <= MAX_ALARM_PAUSE_SEC ? n : undefined;
}

function SoundSettings(props: { settings: Settings; signals: AudioAsset[]; onSaved: () => Promise<void> }) {
  const [alarmId, setAlarmId] = useState(props.settings.alarmSignalId);
  const [pause, setPause] = useState(String(props.settings.alarmDelaySec));
  const [leadIn, setLeadIn] = useState(props.settings.announcementSignalId);
  const [problem, setProblem] = useState<string>();
  const action = useAction();

  const known = (id: string) => props.signals.some((s) => s.id === id);
  const save = (e: Event) => {
    e.preventDefault();
    action.clear();
    const pauseSec = parsePause(pause);
    const p = !known(alarmId)
      ? 'Alarm signal: choose a signal; the alarm must always have a sound.'
      : pauseSec === undefined
        ? `Pause between alarm repetitions: enter a number of seconds from 0 to ${MAX_ALARM_PAUSE_SEC}.`
        : leadIn !== 'NULL' && !known(leadIn)
          ? 'Announcement lead-in: the chosen signal no longer exists; choose another one or "None".'
          : undefined;
    if (p) {
      setProblem(p);
      return;
    }
    setProblem(undefined);
    void action.run(async () => {
      await updateSettings({ alarmSignalId: alarmId, alarmDelaySec: pauseSec, announcementSignalId: leadIn });
      await props.onSaved();
      return 'Saved. The alarm uses the new settings the next time it starts.';
    });
  };

  return (
    <form class="card" onSubmit={save} noValidate aria-labelledby="sound-title">
      <h2 id="sound-title">Alarm and announcements</h2>
      <SignalSelect id="alarm-signal" label="Alarm signal" value={alarmId} signals={props.signals} onChange={setAlarmId} allowNone={false} />
      <div class="field">
        <label for="alarm-pause">Pause between alarm repetitions (seconds)</label>
        <input id="alarm-pause" type="number" inputMode="decimal" min={0} max={MAX_ALARM_PAUSE_SEC} step={0.5} value={pause} onInput={(e) => setPause(e.currentTarget.value)} />
      </div>
      <SignalSelect id="lead-in" label="Lead-in signal before announcements" value={leadIn} signals={props.signals} onChange={setLeadIn} />
      <ErrorText error={problem} />
      <button type="submit" class="primary" disabled={action.busy}>
        Save
      </button>
      <Outcome action={action} />
    </form>
  );
}

/** How many browsers are logged in, and a way to end them all (a lost phone, a leaked password). */
function SignedInBrowsers() {
  const count = useLoad(() => loginCount());
  const [error, setError] = useState<string>();
  const signOutEverywhere = async () => {
    if (!window.confirm('Sign out every browser, this one too? Everyone must log in again with the password.')) return;
    try {
      await logoutEverywhere();
      navigate('/login', true);
    } catch (err) {
      setError(messageOf(err));
    }
  };
  if (count.data === undefined) return null;
  return (
    <div class="field">
      <p>{count.data === 1 ? 'Signed in on 1 browser.' : `Signed in on ${count.data} browsers.`}</p>
      <button type="button" onClick={signOutEverywhere}>
        Sign out everywhere
      </button>
      <ErrorText error={error} />
    </div>
  );
}

export function SettingsPage() {
  const settings = useLoad(() => getTarget<Settings>('settings'));
  const signals = useLoad(() => getTarget<AudioAsset[]>('signals'));
  const info = useLoad(() => getTarget<Info>('info'));
  const missing = useLoad(() => getTarget<string[]>('missingAudioFiles').catch((): string[] => []));
  const [passwordDone, setPasswordDone] = useState<string>();
  // A restore replaces what the forms were filled from: they start afresh.
  const [generation, setGeneration] = useState(0);
  const reloadAll = async () => {
    await Promise.all([settings.reload(), signals.reload(), missing.reload()]);
    setGeneration((g) => g + 1);
  };
  return (
    <MissingFiles.Provider value={missing.data ?? []}>
    <Page title="Settings">
      <ErrorText error={settings.error} />
      <ErrorText error={signals.error} />
      {settings.data && signals.data ? (
        <SoundSettings key={generation} settings={settings.data} signals={signals.data} onSaved={settings.reload} />
      ) : (
        <Loading what="settings" />
      )}
      <section class="card" id="password" aria-labelledby="pw-title">
        <h2 id="pw-title">Dashboard password</h2>
        <PasswordForm idPrefix="settings-pw" submitLabel="Change password" onDone={() => setPasswordDone('The password is changed. Every other browser must log in again with the new password.')} />
        <OkText text={passwordDone} />
        <SignedInBrowsers />
      </section>
      <BackupSection onRestored={reloadAll} />
      <section class="card" aria-labelledby="about-title">
        <h2 id="about-title">About this player</h2>
        <ErrorText error={info.error} />
        {info.data && (
          <dl class="facts">
            <dt>Version</dt>
            <dd>{info.data.version}</dd>
            <dt>Internet</dt>
            <dd>
              {info.data.internetAccess
                ? 'Connected: holiday calendars and announcements can be downloaded.'
                : 'Not connected: holiday calendars and announcements cannot be downloaded. The bells ring all the same.'}
            </dd>
          </dl>
        )}
      </section>
    </Page>
    </MissingFiles.Provider>
  );
}
