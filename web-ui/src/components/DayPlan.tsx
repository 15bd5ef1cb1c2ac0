import { t } from '../i18n';
import { clockText, listText } from '../i18n/format';
import { bellPlan } from '../lib/plan';
import { playInText } from '../lib/timetable';
import type { TimeTable } from '../lib/types';

/** A day's bells in short: the lessons, then the times of the warning bells and of the other plays. */
export function DayPlan(props: { timetable: TimeTable }) {
  const plan = bellPlan(props.timetable);
  // Lessons are listed by their times; say so when their own bells have no signal.
  const silent = plan.silent.filter((k) => k === 'startOfClass' || k === 'endOfClass');
  if (plan.lessonCount === 0 && plan.others.length === 0) return <p class="small">{t('calendar.ringsNothing', { name: props.timetable.name })}</p>;
  return (
    <div class="day-plan">
      {plan.lessonCount > 0 && (
        <ul class="plan-lessons" aria-label={t('plan.lessons')}>
          {plan.rows.map((row) =>
            row.kind === 'lesson' ? (
              <li key={`${row.n}-${row.start}`}>{t('plan.lesson', { n: row.n, start: clockText(row.start), end: clockText(row.end) })}</li>
            ) : null,
          )}
        </ul>
      )}
      {plan.warnings.length > 0 && <p class="small">{t('plan.warningTimes', { times: listText(plan.warnings.map((b) => clockText(b.seconds))) })}</p>}
      {plan.others.length > 0 && <p class="small">{t('plan.otherTimes', { times: listText(plan.others.map((b) => clockText(b.seconds))) })}</p>}
      {plan.lessonCount > 0 && silent.length > 0 && <p class="small muted">{t('plan.silent', { kinds: listText(silent.map(playInText)) })}</p>}
    </div>
  );
}
