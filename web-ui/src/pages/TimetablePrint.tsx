import { ErrorText, Link, Loading, Page } from '../components/ui';
import { getTarget, getTimetables } from '../lib/api';
import { describeDays, recurrenceInText, workdayModeLabel } from '../lib/calendar';
import { useLoad } from '../lib/hooks';
import { bellPlan, type BellPlan } from '../lib/plan';
import { dateText } from '../lib/time';
import { PLAY_KEYS, playLabel } from '../lib/timetable';
import { rich, t } from '../i18n';
import { clockText, dayRange, longDate } from '../i18n/format';
import type { AudioAsset, CalendarInfo, TimeTable } from '../lib/types';
import { NULL_ID } from '../lib/types';

/** The days the timetable rings on, by the calendar's rules: the school days, weekly and single events still to come. */
function appliesTo(id: string, info: CalendarInfo): string[] {
  const rules: string[] = [];
  if (info.defaultTimetableId === id) rules.push(t('print.appliesDefault', { days: workdayModeLabel(info.workdayMode) }));
  for (const e of info.reoccurringEvents) {
    if (e.timeTableId === id) rules.push(t('print.appliesWeekly', { days: describeDays(e.days), weeks: recurrenceInText(e.mode) }));
  }
  const single = info.singleEvents
    .filter((e) => e.timeTableId === id && dateText(e.end) >= info.date)
    .sort((a, b) => (dateText(a.start) < dateText(b.start) ? -1 : 1));
  for (const e of single) {
    const days = dayRange(dateText(e.start), dateText(e.end));
    rules.push(e.name ? t('print.appliesNamed', { name: e.name, days }) : days);
  }
  return rules;
}

/** The lessons with their breaks, and the warning bells beside them. */
function PlanTables(props: { plan: BellPlan }) {
  const { plan } = props;
  return (
    <div class="plan-columns">
      {plan.lessonCount > 0 && (
        <section aria-labelledby="plan-lessons">
          <h2 id="plan-lessons">{t('plan.lessons')}</h2>
          <table class="data plan-table">
            <thead>
              <tr>
                <th scope="col">{t('plan.lessonColumn')}</th>
                <th scope="col">{t('bells.time')}</th>
              </tr>
            </thead>
            <tbody>
              {plan.rows.map((row) =>
                row.kind === 'lesson' ? (
                  <tr key={`l${row.n}-${row.start}`}>
                    <th scope="row">{t('plan.lessonNo', { n: row.n })}</th>
                    <td>{t('plan.lessonTimes', { start: clockText(row.start), end: clockText(row.end) })}</td>
                  </tr>
                ) : (
                  <tr key={`b${row.start}`} class="plan-break">
                    <td colSpan={2}>{t('plan.break', { minutes: Math.round((row.end - row.start) / 60) })}</td>
                  </tr>
                ),
              )}
            </tbody>
          </table>
        </section>
      )}
      {plan.warnings.length > 0 && (
        <section aria-labelledby="plan-warnings">
          <h2 id="plan-warnings">{t('plan.warnings')}</h2>
          <BellTable bells={plan.warnings} />
        </section>
      )}
    </div>
  );
}

function BellTable(props: { bells: BellPlan['warnings'] }) {
  return (
    <table class="data plan-table">
      <thead>
        <tr>
          <th scope="col">{t('bells.time')}</th>
          <th scope="col">{t('bells.bell')}</th>
        </tr>
      </thead>
      <tbody>
        {props.bells.map((b, i) => (
          <tr key={i}>
            <th scope="row">{clockText(b.seconds)}</th>
            <td>{b.what}</td>
          </tr>
        ))}
      </tbody>
    </table>
  );
}

/** Which signal each kind of bell plays; a kind without one does not ring. */
function Signals(props: { timetable: TimeTable; name: (id: string) => string }) {
  const ch = props.timetable.chA;
  return (
    <section aria-labelledby="plan-signals">
      <h2 id="plan-signals">{t('print.signals')}</h2>
      <dl class="facts plan-signals">
        {PLAY_KEYS.map((key) => {
          const id = ch?.[key]?.id ?? NULL_ID;
          const wait = key === 'preStart' ? ch.preStartWaitMin : key === 'preEnd' ? ch.preEndWaitMin : undefined;
          return [
            <dt key={`${key}-t`}>{wait === undefined ? playLabel(key) : t('print.warningKind', { kind: playLabel(key), min: wait })}</dt>,
            <dd key={`${key}-d`}>{id === NULL_ID ? t('print.noSignal') : props.name(id)}</dd>,
          ];
        })}
      </dl>
    </section>
  );
}

/** A timetable's bells on one A4 page, for the staff room wall. */
export function TimetablePrint(props: { id: string }) {
  const timetables = useLoad(getTimetables, [props.id]);
  const signals = useLoad(() => getTarget<AudioAsset[]>('signals'));
  const missing = useLoad(() => getTarget<string[]>('missingAudioFiles').catch((): string[] => []));
  const info = useLoad(() => getTarget<CalendarInfo>('calendarInfo'));
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
  const plan = timetable ? bellPlan(timetable) : undefined;
  const rules = timetable && info.data ? appliesTo(props.id, info.data) : [];
  const now = new Date();
  const printedOn = longDate(`${now.getFullYear()}-${String(now.getMonth() + 1).padStart(2, '0')}-${String(now.getDate()).padStart(2, '0')}`);
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
      <ErrorText error={timetables.error ?? signals.error ?? info.error} />
      {!timetable || !plan || !signals.data || !info.data ? (
        <Loading text={t('loading.bells')} />
      ) : (
        <div class="bell-plan">
          <div class="plan-applies">
            <h2 class="small-heading">{t('print.appliesTo')}</h2>
            {rules.length ? (
              <ul>
                {rules.map((rule) => (
                  <li key={rule}>{rule}</li>
                ))}
              </ul>
            ) : (
              <p>{t('print.appliesNothing')}</p>
            )}
          </div>
          {plan.lessonCount === 0 && plan.others.length === 0 ? <p>{t('print.noBells')}</p> : <PlanTables plan={plan} />}
          {plan.others.length > 0 && (
            <section aria-labelledby="plan-others">
              <h2 id="plan-others">{t('plan.others')}</h2>
              <BellTable bells={plan.others} />
            </section>
          )}
          <Signals timetable={timetable} name={name} />
          <p class="plan-printed muted small">{t('print.printedOn', { date: printedOn })}</p>
        </div>
      )}
    </Page>
  );
}
