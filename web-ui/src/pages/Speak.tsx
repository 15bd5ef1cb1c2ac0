// The "Speak" form: typed text spoken over the loudspeakers now or at a set time, with a
// preview that plays on this computer only.
import { useEffect, useState } from 'preact/hooks';
import { ErrorText, Outcome } from '../components/ui';
import { getTarget, previewSpeech, speak, type SpeakRequest, type Voice } from '../lib/api';
import { useAction, useLoad } from '../lib/hooks';
import { checkPeriod, normalizeTime } from '../lib/time';

const MAX_TEXT = 1000;

export function SpeakForm(props: { onChanged: () => Promise<void>; today: string }) {
  const voices = useLoad(() => getTarget<Voice[]>('voices'));
  const [text, setText] = useState('');
  const [voice, setVoice] = useState('');
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
      setProblem('Type the text to speak.');
      return undefined;
    }
    let at: string | null = null;
    if (withTime && later) {
      const d = checkPeriod(date, date);
      const t = normalizeTime(time);
      if (!d.ok || !t.ok) {
        setProblem(!d.ok ? d.error.replace('First day: ', 'Date: ') : `Time: ${t.ok ? '' : t.error}`);
        return undefined;
      }
      const hms = t.value.length === 5 ? `${t.value}:00` : t.value;
      at = `${d.value.start}T${hms}`;
    }
    setProblem(undefined);
    return { text, voice: voice || null, at };
  };
  const submit = (e: Event) => {
    e.preventDefault();
    const r = request(true);
    if (!r) return;
    void action.run(async () => {
      await speak(r);
      if (!r.at) return 'The announcement is playing.';
      setText('');
      await props.onChanged();
      return `The announcement is programmed for ${r.at.replace('T', ' ')}.`;
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
      return 'The preview plays on this computer only.';
    });
  };

  return (
    <section class="card" aria-labelledby="speak-title">
      <h2 id="speak-title">Speak</h2>
      <p class="muted small">Type an announcement: the player speaks it over the loudspeakers after the lead-in signal, now or at a set time. No internet needed.</p>
      <form onSubmit={submit} noValidate>
        <div class="field">
          <label for="speak-text">Text to speak</label>
          <textarea id="speak-text" rows={3} maxLength={MAX_TEXT} value={text} onInput={(e) => setText(e.currentTarget.value)} />
          <small class="muted">
            {text.length} of {MAX_TEXT} characters
          </small>
        </div>
        <div class="field">
          <label for="speak-voice">Voice</label>
          <select id="speak-voice" value={voice} onChange={(e) => setVoice(e.currentTarget.value)} disabled={!voices.data}>
            {(voices.data ?? []).map((v, i) => (
              <option key={v.id} value={i === 0 ? '' : v.id}>
                {v.name} ({v.id}){i === 0 ? ', default' : ''}
              </option>
            ))}
          </select>
          <ErrorText error={voices.error} />
        </div>
        <fieldset class="modes">
          <legend>When</legend>
          <span class="field-inline">
            <input id="speak-now" type="radio" name="speak-when" checked={!later} onChange={() => setLater(false)} />
            <label for="speak-now">Now</label>
          </span>
          <span class="field-inline">
            <input id="speak-later" type="radio" name="speak-when" checked={later} onChange={() => setLater(true)} />
            <label for="speak-later">At a set time</label>
          </span>
        </fieldset>
        {later && (
          <div class="row">
            <div class="field">
              <label for="speak-date">Date</label>
              <input id="speak-date" type="date" value={date} onInput={(e) => setDate(e.currentTarget.value)} />
            </div>
            <div class="field">
              <label for="speak-time">Time</label>
              <input id="speak-time" type="text" placeholder="10:30" size={8} value={time} onInput={(e) => setTime(e.currentTarget.value)} />
            </div>
          </div>
        )}
        <ErrorText error={problem} />
        <div class="row">
          <button type="button" disabled={action.busy} onClick={preview}>
            Preview on this computer
          </button>
          <button type="submit" class="primary" disabled={action.busy}>
            {action.busy ? 'Working…' : later ? 'Programme it' : 'Speak now'}
          </button>
        </div>
        {previewUrl && <audio class="speak-preview" controls src={previewUrl} aria-label="Preview of the spoken text" />}
        <Outcome action={action} />
      </form>
    </section>
  );
}
