import { ErrorText, Link, Loading, Page } from '../components/ui';
import { DayPlan } from '../components/DayPlan';
import { getTarget, getTimetables } from '../lib/api';
import { timetableColour } from '../lib/calendar';
import { dayCause, dayHeadline, dayLook, whyThisTimetable } from '../lib/dayView';
import { useLoad } from '../lib/hooks';
import { useChanged } from '../lib/playerState';
import { navigate, useLocation } from '../lib/router';
import { addDays, daysFrom, mondayOf, type DatedDay } from '../lib/week';
import { t } from '../i18n';
import { dayRange, weekdayAndDay } from '../i18n/format';
import type { CalendarInfo, MonthView, Settings, TimeTableEntry } from '../lib/types';
import { NULL_ID } from '../lib/types';

function WeekDay(props: { day: DatedDay; today: string; info: CalendarInfo; settings?: Settings; timetables?: TimeTableEntry[] }) {
  const { day, info } = props;
  const selectedToday = props.settings?.dailyPreferences?.selectedTimetableId;
  const look = dayLook(day.date, day, info, selectedToday);
  const timetable = props.timetables?.find((tt) => tt.id === day.id);
  const colour = timetableColour(day.id, info.timetables);
  const headId = `week-day-${day.date}`;
  return (
    <li class={`card week-day ${day.date === props.today ? 'today' : ''}`} aria-labelledby={headId} data-date={day.date} data-timetable={day.id}>
      <h3 id={headId} class={`week-day-head ${look.className}`}>
        {weekdayAndDay(day.date)}
        {day.date === props.today && <span class="badge">{t('common.today')}</span>}
        {day.date === addDays(props.today, 1) && <span class="badge">{t('common.tomorrow')}</span>}
      </h3>
      <div class="week-day-body">
        <p class="week-day-kind">
          {colour && <span class="swatch bar" style={{ background: colour }} aria-hidden="true" />} <strong>{dayHeadline(look, day, info.timetables)}</strong>
        </p>
        {(day.id !== NULL_ID || dayCause(day.date, day, info, selectedToday).kind !== 'typeOfDay') && (
          <p class="muted small">{whyThisTimetable(day.date, day, info, selectedToday)}</p>
        )}
        {day.id === NULL_ID ? null : !props.timetables ? (
          <Loading text={t('loading.bells')} />
        ) : !timetable ? (
          <p class="msg msg-error">{t('calendar.timetableGone')}</p>
        ) : (
          <DayPlan timetable={timetable} />
        )}
      </div>
    </li>
  );
}

/** Seven days at a time, Monday first: each day's type, timetable and bells. */
export function WeekPage() {
  const { search } = useLocation();
  const offset = Number.parseInt(search.get('offset') ?? '0', 10) || 0;
  const go = (n: number) => navigate(n === 0 ? '/calendar/week' : `/calendar/week?offset=${n}`);
  const info = useLoad(() => getTarget<CalendarInfo>('calendarInfo'));
  const settings = useLoad(() => getTarget<Settings>('settings'));
  const timetables = useLoad(getTimetables);
  const calendar = info.data;
  const today = calendar?.date;
  const monday = today ? addDays(mondayOf(today), offset * 7) : undefined;
  const days = useLoad(
    () => (today && monday ? daysFrom(today, monday, 7, (o) => getTarget<MonthView>('calendarDays', { offset: o })) : Promise.resolve(undefined)),
    [today, monday],
  );
  useChanged(() => {
    void info.reload();
    void settings.reload();
    void timetables.reload();
    void days.reload();
  });
  // The days of the week asked for, not those of the one before while they load.
  const shown = days.data?.[0]?.date === monday ? days.data : undefined;
  const title = monday ? dayRange(monday, addDays(monday, 6)) : t('weekView.title');
  return (
    <Page
      title={t('weekView.title')}
      actions={
        <Link class="button" href="/calendar">
          {t('weekView.monthView')}
        </Link>
      }
    >
      <ErrorText error={info.error ?? days.error ?? timetables.error} />
      <section aria-labelledby="week-range">
        <div class="month-head">
          <button type="button" onClick={() => go(offset - 1)} aria-label={t('weekView.previousWeek')}>
            {t('calendar.previous')}
          </button>
          <h2 id="week-range" aria-live="polite">
            {title}
          </h2>
          <button type="button" onClick={() => go(offset + 1)} aria-label={t('weekView.nextWeek')}>
            {t('calendar.next')}
          </button>
        </div>
        {offset !== 0 && (
          <p class="center">
            <button type="button" class="link-button" onClick={() => go(0)}>
              {t('weekView.backToThisWeek')}
            </button>
          </p>
        )}
        {settings.data?.schedulerEnable === false && (
          <p class="msg msg-warn" role="status">
            {t('weekView.bellsOff')}
          </p>
        )}
        {!calendar || !today || !shown ? (
          <Loading text={t('loading.week')} />
        ) : (
          <ol class="week-days">
            {shown.map((d) => (
              <WeekDay key={d.date} day={d} today={today} info={calendar} settings={settings.data} timetables={timetables.data} />
            ))}
          </ol>
        )}
      </section>
    </Page>
  );
}
