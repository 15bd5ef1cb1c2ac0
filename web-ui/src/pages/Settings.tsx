import { useState } from 'preact/hooks';
import { ErrorText, Loading, MissingFiles, OkText, Outcome, Page, SignalSelect } from '../components/ui';
import { getTarget, loginCount, logoutEverywhere, updateSettings } from '../lib/api';
import { navigate } from '../lib/router';
import { messageOf, useAction, useLoad } from '../lib/hooks';
import type { AudioAsset, Settings } from '../lib/types';
import { AlertSettingsForm } from './Alerts';
import { BackupSection } from './Backup';
import { PasswordForm } from './Welcome';
import { isLanguage, LANGUAGE_NAMES, t } from '../i18n';

interface Info {
  version: string;
  internetAccess: boolean;
  language?: string;
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
      ? t('settings.alarmNeedsSignal')
      : pauseSec === undefined
        ? t('settings.pauseRange', { max: MAX_ALARM_PAUSE_SEC })
        : leadIn !== 'NULL' && !known(leadIn)
          ? t('settings.leadInGone')
          : undefined;
    if (p) {
      setProblem(p);
      return;
    }
    setProblem(undefined);
    void action.run(async () => {
      await updateSettings({ alarmSignalId: alarmId, alarmDelaySec: pauseSec, announcementSignalId: leadIn });
      await props.onSaved();
      return t('settings.saved');
    });
  };

  return (
    <form class="card" onSubmit={save} noValidate aria-labelledby="sound-title">
      <h2 id="sound-title">{t('settings.soundTitle')}</h2>
      <SignalSelect id="alarm-signal" label={t('settings.alarmSignal')} value={alarmId} signals={props.signals} onChange={setAlarmId} allowNone={false} />
      <div class="field">
        <label for="alarm-pause">{t('settings.pause')}</label>
        <input id="alarm-pause" type="number" inputMode="decimal" min={0} max={MAX_ALARM_PAUSE_SEC} step={0.5} value={pause} onInput={(e) => setPause(e.currentTarget.value)} />
      </div>
      <SignalSelect id="lead-in" label={t('settings.leadIn')} value={leadIn} signals={props.signals} onChange={setLeadIn} />
      <ErrorText error={problem} />
      <button type="submit" class="primary" disabled={action.busy}>
        {t('common.save')}
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
    if (!window.confirm(t('settings.signOutConfirm'))) return;
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
      <p>{t('settings.signedIn', { count: count.data })}</p>
      <button type="button" onClick={signOutEverywhere}>
        {t('settings.signOutEverywhere')}
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
    <Page title={t('settings.title')}>
      <ErrorText error={settings.error} />
      <ErrorText error={signals.error} />
      {settings.data && signals.data ? (
        <SoundSettings key={generation} settings={settings.data} signals={signals.data} onSaved={settings.reload} />
      ) : (
        <Loading text={t('loading.settings')} />
      )}
      {settings.data && <AlertSettingsForm key={generation} alerts={settings.data.alerts} onSaved={settings.reload} />}
      <section class="card" id="password" aria-labelledby="pw-title">
        <h2 id="pw-title">{t('settings.passwordTitle')}</h2>
        <PasswordForm idPrefix="settings-pw" submitLabel={t('settings.changePassword')} onDone={() => setPasswordDone(t('settings.passwordChanged'))} />
        <OkText text={passwordDone} />
        <SignedInBrowsers />
      </section>
      <BackupSection onRestored={reloadAll} />
      <section class="card" aria-labelledby="about-title">
        <h2 id="about-title">{t('settings.aboutTitle')}</h2>
        <ErrorText error={info.error} />
        {info.data && (
          <dl class="facts">
            <dt>{t('settings.version')}</dt>
            <dd>{info.data.version}</dd>
            <dt>{t('settings.internet')}</dt>
            <dd>{info.data.internetAccess ? t('settings.connected') : t('settings.notConnected')}</dd>
            {isLanguage(info.data.language) && (
              <>
                <dt>{t('settings.playerLanguage')}</dt>
                <dd>{t('settings.playerLanguageNote', { language: LANGUAGE_NAMES[info.data.language] })}</dd>
              </>
            )}
          </dl>
        )}
      </section>
    </Page>
    </MissingFiles.Provider>
  );
}
