import { ErrorText, Link, Loading, Page } from '../components/ui';
import { getTarget, getTimetables } from '../lib/api';
import { bellsOfDay } from '../lib/bells';
import { useLoad } from '../lib/hooks';
import { formatTime } from '../lib/time';
import type { AudioAsset } from '../lib/types';

const at = (s: number) => formatTime({ h: Math.floor(s / 3600), m: Math.floor((s % 3600) / 60), s: s % 60 });

/** A timetable's bells on one A4 page, for the staff room wall. */
export function TimetablePrint(props: { id: string }) {
  const timetables = useLoad(getTimetables, [props.id]);
  const signals = useLoad(() => getTarget<AudioAsset[]>('signals'));
  const missing = useLoad(() => getTarget<string[]>('missingAudioFiles').catch((): string[] => []));
  const timetable = timetables.data?.find((t) => t.id === props.id);
  const name = (id: string) => {
    const signal = signals.data?.find((s) => s.id === id);
    if (!signal) return `missing signal: does not ring`;
    return missing.data?.includes(id) ? `${signal.name} (file missing: does not ring)` : signal.name;
  };
  const back = `/timetables/${encodeURIComponent(props.id)}`;
  if (timetables.data && !timetable) {
    return (
      <Page title="Timetable not found">
        <p class="msg msg-error" role="alert">
          There is no timetable with the id {props.id}. <Link href="/timetables">Back to the timetables</Link>.
        </p>
      </Page>
    );
  }
  const bells = timetable ? bellsOfDay(timetable) : [];
  return (
    <Page
      title={timetable ? `Bells: ${timetable.name}` : 'Bells'}
      actions={
        <div class="buttons no-print">
          <Link href={back}>← Edit the timetable</Link>
          <button type="button" class="primary" onClick={() => window.print()}>
            Print
          </button>
        </div>
      }
    >
      <ErrorText error={timetables.error ?? signals.error} />
      {!timetable || !signals.data ? (
        <Loading what="the bells" />
      ) : bells.length === 0 ? (
        <p>This timetable rings no bells.</p>
      ) : (
        <table class="data print-bells">
          <caption class="visually-hidden">Bells of {timetable.name}</caption>
          <thead>
            <tr>
              <th scope="col">Time</th>
              <th scope="col">Bell</th>
              <th scope="col">Signal</th>
            </tr>
          </thead>
          <tbody>
            {bells.map((b, i) => (
              <tr key={i}>
                <th scope="row">{at(b.seconds)}</th>
                <td>{b.what}</td>
                <td>{name(b.signalId)}</td>
              </tr>
            ))}
          </tbody>
        </table>
      )}
    </Page>
  );
}
