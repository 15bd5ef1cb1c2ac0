import { useEffect, useState } from 'preact/hooks';

import { ErrorText, Link, Page } from '../components/ui';
import { ApiError, getTarget, login } from '../lib/api';
import { durationInWords } from '../lib/duration';
import { messageOf } from '../lib/hooks';
import { AFTER_LOGIN, navigate } from '../lib/router';
import { rich, t } from '../i18n';

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
      setError(t('login.tryAgainNow'));
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
      setError(t('login.enterPassword'));
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
        setError(t('login.failed'));
      }
    } catch (err) {
      if (err instanceof ApiError && err.status === 429 && err.retryAfterSec) {
        setError(t('login.throttled', { wait: durationInWords(err.retryAfterSec) }));
        setWaitSec(err.retryAfterSec);
      } else {
        setError(messageOf(err));
      }
    } finally {
      setBusy(false);
    }
  };

  return (
    <Page title={t('login.title')}>
      <div class="card">
        <p class="lead">
          <img src="/favicon.ico" alt="" width={32} height={32} class="inline-icon" /> {t('login.lead')}
        </p>
        {open ? (
          <p class="msg msg-warn" role="status">
            {rich('login.open', {
              home: (words) => <Link href="/">{words}</Link>,
              settings: (words) => <Link href="/settings">{words}</Link>,
            })}
          </p>
        ) : null}
        <form onSubmit={submit} noValidate>
          <div class="field">
            <label for="password">{t('login.password')}</label>
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
            <label for="remember">{t('login.remember')}</label>
          </div>
          <div id="login-error">
            <ErrorText error={error} />
          </div>
          <button type="submit" class="primary" disabled={busy || waitSec !== undefined}>
            {busy ? t('login.busy') : t('login.submit')}
          </button>
        </form>
        <p class="muted small">{t('login.forgot')}</p>
      </div>
    </Page>
  );
}
