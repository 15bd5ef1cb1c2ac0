import { useEffect, useState } from 'preact/hooks';

import { ErrorText, Link, Page } from '../components/ui';
import { ApiError, getTarget, login } from '../lib/api';
import { durationInWords } from '../lib/duration';
import { messageOf } from '../lib/hooks';
import { AFTER_LOGIN, navigate } from '../lib/router';

export function LoginPage() {
  const [password, setPassword] = useState('');
  const [remember, setRemember] = useState(true);
  const [error, setError] = useState<string>();
  const [busy, setBusy] = useState(false);
  const [open, setOpen] = useState(false);
  // After too many wrong passwords the player refuses this computer's logins for a while;
  // the button waits as long, and says when it may be used again.
  const [waitSec, setWaitSec] = useState<number>();
  useEffect(() => {
    if (waitSec === undefined) return;
    const timer = setTimeout(() => {
      setWaitSec(undefined);
      setError('You can try again now.');
    }, waitSec * 1000);
    return () => clearTimeout(timer);
  }, [waitSec]);

  // A player without a password needs no login; say so instead of asking for one.
  useEffect(() => {
    getTarget('info').then(
      () => setOpen(true),
      () => setOpen(false),
    );
  }, []);

  const submit = async (e: Event) => {
    e.preventDefault();
    if (!password) {
      setError('Enter the dashboard password.');
      return;
    }
    setBusy(true);
    setError(undefined);
    try {
      if (await login(password, remember)) {
        const next = sessionStorage.getItem(AFTER_LOGIN) ?? '/';
        sessionStorage.removeItem(AFTER_LOGIN);
        navigate(next.startsWith('/') && !next.startsWith('/login') ? next : '/', true);
      } else {
        setError('Login failed: the password is not correct. Passwords are case-sensitive.');
      }
    } catch (err) {
      if (err instanceof ApiError && err.status === 429 && err.retryAfterSec) {
        setError(`Too many wrong passwords from this computer. Try again in ${durationInWords(err.retryAfterSec)}.`);
        setWaitSec(err.retryAfterSec);
      } else {
        setError(messageOf(err));
      }
    } finally {
      setBusy(false);
    }
  };

  return (
    <Page title="Log in">
      <div class="card">
        <p class="lead">
          <img src="/favicon.ico" alt="" width={32} height={32} class="inline-icon" /> Veltrano Player: school bells and
          announcements.
        </p>
        {open ? (
          <p class="msg msg-warn" role="status">
            This player has no password yet, so you do not need to log in. <Link href="/">Open the dashboard</Link> and
            set a password under <Link href="/settings">Settings</Link>.
          </p>
        ) : null}
        <form onSubmit={submit} noValidate>
          <div class="field">
            <label for="password">Password</label>
            <input
              id="password"
              type="password"
              autoComplete="current-password"
              value={password}
              onInput={(e) => setPassword(e.currentTarget.value)}
              aria-describedby={error ? 'login-error' : undefined}
              required
            />
          </div>
          <div class="field-inline">
            <input id="remember" type="checkbox" checked={remember} onChange={(e) => setRemember(e.currentTarget.checked)} />
            <label for="remember">Remember me on this computer</label>
          </div>
          <div id="login-error">
            <ErrorText error={error} />
          </div>
          <button type="submit" class="primary" disabled={busy || waitSec !== undefined}>
            {busy ? 'Logging in…' : 'Log in'}
          </button>
        </form>
        <p class="muted small">Forgot the password? Ask the person who set up the player.</p>
      </div>
    </Page>
  );
}
