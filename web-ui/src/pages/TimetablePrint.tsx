import { ErrorText, Link, Loading, Page } from '../components/ui';
import { getTarget, getTimetables } from '../lib/api';
import { bellsOfDay } from '../lib/bells';
import { useLoad } from '../lib/hooks';
import { rich, t } from '../i18n';
import { clockText } from '../i18n/format';
import type { AudioAsset } from '../lib/types';


/** A timetable's bells on one A4 page, for the staff room wall. */
export function TimetablePrint(props: { id: string }) {
  const timetables = useLoad(getTimetables, [props.id]);
  const signals = useLoad(() => getTarget<AudioAsset[]>('signals'));
  const missing = useLoad(() => getTarget<string[]>('missingAudioFiles').catch((): string[] => []));
  const timetable = timetables.data?.find((t) => t.id === props.id);
  const name = (id: string) => {
    const signal = signals.data?.find((s) => s.id === id);
    if (!signal) return t('print.missingSignal');
    return missing.data?.includes(id) ? t('print.fileMissing', { name: signal.name }) : signal.name;
  };
  const back = `/timetables/${encodeURIComponent(props.id)}`;
  if (timetables.data && !timetable) {
    return (
      <Page title={t('editor.notFound')}>
        <p class="msg msg-error" role="alert">
          {rich('print.noSuchId', { id: props.id, link: (words) => <Link href="/timetables">{words}</Link> })}
        </p>
      </Page>
    );
  }
  const bells = timetable ? bellsOfDay(timetable) : [];
  return (
    <Page
      title={timetable ? t('print.title', { name: timetable.name }) : t('print.titleBare')}
      actions={
        <div class="buttons no-print">
          <Link href={back}>{t('print.back')}</Link>
          <button type="button" class="primary" onClick={() => window.print()}>
            {t('common.print')}
          </button>
        </div>
      }
    >
      <ErrorText error={timetables.error ?? signals.error} />
      {!timetable || !signals.data ? (
        <Loading text={t('loading.bells')} />
      ) : bells.length === 0 ? (
        <p>{t('print.noBells')}</p>
      ) : (
        <table class="data print-bells">
          <caption class="visually-hidden">{t('print.caption', { name: timetable.name })}</caption>
          <thead>
            <tr>
              <th scope="col">{t('bells.time')}</th>
              <th scope="col">{t('bells.bell')}</th>
              <th scope="col">{t('bells.signal')}</th>
            </tr>
          </thead>
          <tbody>
            {bells.map((b, i) => (
              <tr key={i}>
                <th scope="row">{clockText(b.seconds)}</th>
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
