import { useState } from 'preact/hooks';
import { ErrorText, Outcome } from '../components/ui';
import { sendTestEmail, updateSettings } from '../lib/api';
import { useAction } from '../lib/hooks';
import type { AlertKind, AlertSettings } from '../lib/types';
import { t } from '../i18n';

const KINDS: AlertKind[] = ['bellFailed', 'clockUnsynchronised', 'saveFailed', 'restartedAfterFailure'];
const KIND_LABELS = {
  bellFailed: 'alerts.bellFailed',
  clockUnsynchronised: 'alerts.clockUnsynchronised',
  saveFailed: 'alerts.saveFailed',
  restartedAfterFailure: 'alerts.restartedAfterFailure',
} as const;

/** The addresses typed into the box: split at commas, semicolons, spaces and lines. */
export function parseAddresses(text: string): string[] {
  return text.split(/[\s,;]+/).filter((a) => a !== '');
}

/** The same check the player makes: a plain address, nothing that could pass for an option. */
export function isPlainAddress(address: string): boolean {
  return address.length <= 254 && /^[A-Za-z0-9._+][A-Za-z0-9._+-]*@[A-Za-z0-9.-]+$/.test(address);
}

/** Who is told by e-mail when a bell fails, the clock drifts, saving fails or the player restarts. */
export function AlertSettingsForm(props: { alerts?: AlertSettings; onSaved: () => Promise<void> }) {
  const [addresses, setAddresses] = useState((props.alerts?.email ?? []).join('\n'));
  const [kinds, setKinds] = useState<AlertKind[]>(props.alerts?.on ?? KINDS);
  const [problem, setProblem] = useState<string>();
  const save = useAction();
  const test = useAction();

  const toggle = (kind: AlertKind, on: boolean) =>
    setKinds((current) => KINDS.filter((k) => (k === kind ? on : current.includes(k))));
  const submit = (e: Event) => {
    e.preventDefault();
    save.clear();
    test.clear();
    const email = parseAddresses(addresses);
    const bad = email.find((a) => !isPlainAddress(a));
    if (bad !== undefined) {
      setProblem(t('alerts.badAddress', { address: bad }));
      return;
    }
    setProblem(undefined);
    void save.run(async () => {
      await updateSettings({ alerts: { email, on: kinds } });
      await props.onSaved();
      return email.length ? t('alerts.saved', { count: email.length }) : t('alerts.savedNone');
    });
  };
  const sendTest = () => {
    save.clear();
    void test.run(async () => {
      await sendTestEmail();
      return t('alerts.testSent');
    });
  };

  return (
    <form class="card" onSubmit={submit} noValidate aria-labelledby="alerts-title">
      <h2 id="alerts-title">{t('alerts.title')}</h2>
      <p>{t('alerts.intro')}</p>
      <div class="field">
        <label for="alert-addresses">{t('alerts.addresses')}</label>
        <textarea id="alert-addresses" rows={3} autoComplete="email" value={addresses} onInput={(e) => setAddresses(e.currentTarget.value)} />
      </div>
      <fieldset class="modes">
        <legend>{t('alerts.when')}</legend>
        {KINDS.map((kind) => (
          <span key={kind} class="field-inline">
            <input id={`alert-${kind}`} type="checkbox" checked={kinds.includes(kind)} onChange={(e) => toggle(kind, e.currentTarget.checked)} />
            <label for={`alert-${kind}`}>{t(KIND_LABELS[kind])}</label>
          </span>
        ))}
      </fieldset>
      <p class="muted small">{t('alerts.oncePerHour')}</p>
      <ErrorText error={problem} />
      <div class="buttons">
        <button type="submit" class="primary" disabled={save.busy}>
          {t('alerts.save')}
        </button>
        <button type="button" onClick={sendTest} disabled={test.busy || save.busy}>
          {test.busy ? t('common.working') : t('alerts.sendTest')}
        </button>
      </div>
      <Outcome action={save} />
      <Outcome action={test} />
    </form>
  );
}
