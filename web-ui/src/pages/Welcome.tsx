import { useState } from 'preact/hooks';
import { ErrorText, Link, Page } from '../components/ui';
import { WELCOME_SKIPPED, changePassword, updateSettings } from '../lib/api';
import { messageOf } from '../lib/hooks';
import { navigate } from '../lib/router';
import { checkNewPassword } from '../lib/password';

export function PasswordForm(props: { idPrefix: string; submitLabel: string; onDone: () => void }) {
  const [password, setPassword] = useState('');
  const [repeat, setRepeat] = useState('');
  const [error, setError] = useState<string>();
  const [busy, setBusy] = useState(false);
  const p = props.idPrefix;

  const submit = async (e: Event) => {
    e.preventDefault();
    const problem = checkNewPassword(password, repeat);
    if (problem) {
      setError(problem);
      return;
    }
    setBusy(true);
    setError(undefined);
    try {
      await changePassword(password);
      setPassword('');
      setRepeat('');
      props.onDone();
    } catch (err) {
      setError(messageOf(err));
    } finally {
      setBusy(false);
    }
  };

  return (
    <form onSubmit={submit} noValidate>
      <div class="field">
        <label for={`${p}-new`}>New password</label>
        <input
          id={`${p}-new`}
          type="password"
          autoComplete="new-password"
          value={password}
          onInput={(e) => setPassword(e.currentTarget.value)}
          aria-describedby={`${p}-hint`}
        />
        <small id={`${p}-hint`} class="muted">
          At least 6 characters. Everyone who knows it can change the bells.
        </small>
      </div>
      <div class="field">
        <label for={`${p}-repeat`}>Repeat the new password</label>
        <input
          id={`${p}-repeat`}
          type="password"
          autoComplete="new-password"
          value={repeat}
          onInput={(e) => setRepeat(e.currentTarget.value)}
        />
      </div>
      <ErrorText error={error} />
      <button type="submit" class="primary" disabled={busy}>
        {busy ? 'Saving…' : props.submitLabel}
      </button>
    </form>
  );
}

function BellsOffUntilReady() {
  const [state, setState] = useState<'idle' | 'busy' | 'done'>('idle');
  const [error, setError] = useState<string>();
  const switchOff = async () => {
    setState('busy');
    setError(undefined);
    try {
      await updateSettings({ schedulerEnable: false });
      setState('done');
    } catch (err) {
      setError(messageOf(err));
      setState('idle');
    }
  };
  return (
    <div class="card">
      <h2>The bells ring from now on</h2>
      <p>
        Until you change it, the player rings the factory timetable on every school day, starting at 08:00. If the
        school is not ready for that yet, switch the bells off; switch them on again on the home page when you are.
      </p>
      {state === 'done' ? (
        <p class="msg msg-ok" role="status">
          The bells are off. Switch them on again on the home page when you are ready.
        </p>
      ) : (
        <button type="button" onClick={switchOff} disabled={state === 'busy'}>
          Switch bells off until I'm ready
        </button>
      )}
      <ErrorText error={error} />
    </div>
  );
}

export function WelcomePage(props: { isTray: boolean }) {
  const skip = () => {
    localStorage.setItem(WELCOME_SKIPPED, '1');
    navigate('/', true);
  };
  return (
    <Page title="Welcome to Veltrano Player">
      <div class="card">
        <p class="lead">This computer now rings your school's bells.</p>
        <p>
          The player rings the signals of the active timetable at the exact second: a signal at the start and the end of
          each lesson, and a warning a few minutes before. The calendar decides which days are school days. Out of the
          box it uses the timetable "Default" (six lessons from 08:00 to 13:45) from Monday to Friday.
        </p>
        {props.isTray ? (
          <p>
            The player keeps running in the background. Its bell icon sits in the notification area next to the clock:
            use its menu to open this dashboard again or to quit the player. Keep this computer switched on during
            school hours, with its speakers on.
          </p>
        ) : (
          <p>Keep this computer switched on during school hours, with its speakers on.</p>
        )}
      </div>
      <BellsOffUntilReady />
      <div class="card">
        <h2>Choose a dashboard password</h2>
        <p>The dashboard can be opened from other computers of the school network. A password keeps it safe.</p>
        <PasswordForm idPrefix="welcome" submitLabel="Set password and continue" onDone={() => navigate('/', true)} />
        <p>
          <button type="button" class="link-button" onClick={skip}>
            Skip for now
          </button>{' '}
          <span class="muted small">(the home page will keep reminding you)</span>
        </p>
      </div>
      <div class="card">
        <h2>Next steps</h2>
        <ol>
          <li>
            <Link href="/timetables">Timetables</Link>: check the lesson times and the signals.
          </li>
          <li>
            <Link href="/calendar">Calendar</Link>: choose your working week, your region for public holidays and school
            breaks, and add your own days off.
          </li>
          <li>
            <Link href="/signals">Signals &amp; songs</Link>: upload your own signals.
          </li>
        </ol>
      </div>
    </Page>
  );
}
