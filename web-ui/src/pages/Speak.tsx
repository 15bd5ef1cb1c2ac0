// The "Speak" form: typed text spoken over the loudspeakers now or at a set time, with a
// preview that plays on this computer only.
import { useEffect, useState } from 'preact/hooks';
import { ErrorText, Outcome } from '../components/ui';
import { getTarget, previewSpeech, speak, type SpeakRequest, type Voice } from '../lib/api';
import { useAction, useLoad } from '../lib/hooks';
import { checkDay, normalizeTime } from '../lib/time';
import { intlLocale, t, useLanguage } from '../i18n';
import { voicesFor } from '../lib/voices';
import { dateTimeText } from '../i18n/format';

const MAX_TEXT = 1000;

export function SpeakForm(props: { onChanged: () => Promise<void>; today: string }) {
  const voices = useLoad(() => getTarget<Voice[]>('voices'));
  const [text, setText] = useState('');
  const language = useLanguage();
  const { ordered, proposed } = voicesFor(voices.data ?? [], language, intlLocale());
  const defaultVoice = voices.data?.[0]?.id;
  // Undefined until the user chooses: then the voice of the dashboard's language is proposed.
  const [chosenVoice, setVoice] = useState<string>();
  const voice = chosenVoice ?? proposed?.id ?? '';
  const [later, setLater] = useState(false);
  const [date, setDate] = useState(props.today);
  const [time, setTime] = useState('');
  const [problem, setProblem] = useState<string>();
  const [previewUrl, setPreviewUrl] = useState<string>();
  const action = useAction();
  useEffect(() => () => previewUrl && URL.revokeObjectURL(previewUrl), [previewUrl]);

  /** The request, or undefined after showing what is wrong. */
  const request = (withTime: boolean): SpeakRequest | undefined => {
    action.clear();
    if (!text.trim()) {
      setProblem(t('speak.enterText'));
      return undefined;
    }
    let at: string | null = null;
    if (withTime && later) {
      const d = checkDay(date);
      const tm = normalizeTime(time);
      if (!d.ok || !tm.ok) {
        setProblem(!d.ok ? d.error : t('field.time', { error: tm.ok ? '' : tm.error }));
        return undefined;
      }
      const hms = tm.value.length === 5 ? `${tm.value}:00` : tm.value;
      at = `${d.value}T${hms}`;
    }
    setProblem(undefined);
    // The player's default voice is asked for as "none", as before.
    return { text, voice: voice && voice !== defaultVoice ? voice : null, at };
  };
  const submit = (e: Event) => {
    e.preventDefault();
    const r = request(true);
    if (!r) return;
    void action.run(async () => {
      await speak(r);
      if (!r.at) return t('speak.playing');
      setText('');
      await props.onChanged();
      return t('speak.programmed', { when: dateTimeText(r.at) });
    });
  };
  const preview = () => {
    const r = request(false);
    if (!r) return;
    void action.run(async () => {
      const blob = await previewSpeech(r);
      const url = URL.createObjectURL(blob);
      setPreviewUrl(url);
      await new Audio(url).play().catch(() => undefined);
      return t('speak.previewPlays');
    });
  };

  return (
    <section class="card" aria-labelledby="speak-title">
      <h2 id="speak-title">{t('speak.title')}</h2>
      <p class="muted small">{t('speak.intro')}</p>
      <form onSubmit={submit} noValidate>
        <div class="field">
          <label for="speak-text">{t('speak.text')}</label>
          <textarea id="speak-text" rows={3} maxLength={MAX_TEXT} value={text} onInput={(e) => setText(e.currentTarget.value)} />
          <small class="muted">
            {t('speak.count', { n: text.length, max: MAX_TEXT })}
          </small>
        </div>
        <div class="field">
          <label for="speak-voice">{t('speak.voice')}</label>
          <select id="speak-voice" value={voice} onChange={(e) => setVoice(e.currentTarget.value)} disabled={!voices.data}>
            {ordered.map((v) => (
              <option key={v.id} value={v.id}>
                {v.id === defaultVoice ? t('speak.voiceDefault', { name: v.name, id: v.id }) : t('speak.voiceOption', { name: v.name, id: v.id })}
              </option>
            ))}
          </select>
          <ErrorText error={voices.error} />
        </div>
        <fieldset class="modes">
          <legend>{t('speak.when')}</legend>
          <span class="field-inline">
            <input id="speak-now" type="radio" name="speak-when" checked={!later} onChange={() => setLater(false)} />
            <label for="speak-now">{t('speak.now')}</label>
          </span>
          <span class="field-inline">
            <input id="speak-later" type="radio" name="speak-when" checked={later} onChange={() => setLater(true)} />
            <label for="speak-later">{t('speak.later')}</label>
          </span>
        </fieldset>
        {later && (
          <div class="row">
            <div class="field">
              <label for="speak-date">{t('common.date')}</label>
              <input id="speak-date" type="date" value={date} onInput={(e) => setDate(e.currentTarget.value)} />
            </div>
            <div class="field">
              <label for="speak-time">{t('common.time')}</label>
              <input id="speak-time" type="text" placeholder="10:30" size={8} value={time} onInput={(e) => setTime(e.currentTarget.value)} />
            </div>
          </div>
        )}
        <ErrorText error={problem} />
        <div class="row">
          <button type="button" disabled={action.busy} onClick={preview}>
            {t('speak.preview')}
          </button>
          <button type="submit" class="primary" disabled={action.busy}>
            {action.busy ? t('common.working') : later ? t('speak.programme') : t('speak.speakNow')}
          </button>
        </div>
        {previewUrl && <audio class="speak-preview" controls src={previewUrl} aria-label={t('speak.previewLabel')} />}
        <Outcome action={action} />
      </form>
    </section>
  );
}
