import { useState } from 'preact/hooks';
import { ErrorText, Link, Page } from '../components/ui';
import { WELCOME_SKIPPED, changePassword, updateSettings } from '../lib/api';
import { messageOf } from '../lib/hooks';
import { navigate } from '../lib/router';
import { checkNewPassword, MIN_PASSWORD_LENGTH } from '../lib/password';
import { rich, t } from '../i18n';

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
        <label for={`${p}-new`}>{t('password.new')}</label>
        <input
          id={`${p}-new`}
          type="password"
          autoComplete="new-password"
          value={password}
          onInput={(e) => setPassword(e.currentTarget.value)}
          aria-describedby={`${p}-hint`}
        />
        <small id={`${p}-hint`} class="muted">
          {t('password.hint', { min: MIN_PASSWORD_LENGTH })}
        </small>
      </div>
      <div class="field">
        <label for={`${p}-repeat`}>{t('password.repeat')}</label>
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
        {busy ? t('common.saving') : props.submitLabel}
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
      <h2>{t('welcome.bellsTitle')}</h2>
      <p>{t('welcome.bellsText')}</p>
      {state === 'done' ? (
        <p class="msg msg-ok" role="status">
          {t('welcome.bellsOffDone')}
        </p>
      ) : (
        <button type="button" onClick={switchOff} disabled={state === 'busy'}>
          {t('welcome.bellsOff')}
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
    <Page title={t('welcome.title')}>
      <div class="card">
        <p class="lead">{t('welcome.lead')}</p>
        <p>{t('welcome.intro')}</p>
        <p>{props.isTray ? t('welcome.tray') : t('welcome.keepOn')}</p>
      </div>
      <BellsOffUntilReady />
      <div class="card">
        <h2>{t('welcome.passwordTitle')}</h2>
        <p>{t('welcome.passwordText')}</p>
        <PasswordForm idPrefix="welcome" submitLabel={t('welcome.passwordSubmit')} onDone={() => navigate('/', true)} />
        <p>
          <button type="button" class="link-button" onClick={skip}>
            {t('welcome.skip')}
          </button>{' '}
          <span class="muted small">{t('welcome.skipNote')}</span>
        </p>
      </div>
      <div class="card">
        <h2>{t('welcome.nextSteps')}</h2>
        <ol>
          <li>{rich('welcome.step.timetables', { link: (words) => <Link href="/timetables">{words}</Link> })}</li>
          <li>{rich('welcome.step.calendar', { link: (words) => <Link href="/calendar">{words}</Link> })}</li>
          <li>{rich('welcome.step.signals', { link: (words) => <Link href="/signals">{words}</Link> })}</li>
        </ol>
      </div>
    </Page>
  );
}
