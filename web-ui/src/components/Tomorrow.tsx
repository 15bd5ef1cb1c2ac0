import { Link } from './ui';
import { getTarget } from '../lib/api';
import { bellsOfDay } from '../lib/bells';
import { dayHeadline, dayLook } from '../lib/dayView';
import { useLoad } from '../lib/hooks';
import { addDays, daysFrom } from '../lib/week';
import { t } from '../i18n';
import { clockText } from '../i18n/format';
import type { CalendarInfo, MonthView, TimeTableEntry } from '../lib/types';
import { NULL_ID } from '../lib/types';

/** Tomorrow in one line: what kind of day, which timetable, and its first bell. */
export function Tomorrow(props: { today: string; month: MonthView; calendar: CalendarInfo; timetables?: TimeTableEntry[]; bellsOff: boolean }) {
  const tomorrow = addDays(props.today, 1);
  // This month's view is at hand; the next month is asked for only when tomorrow lies in it.
  const day = useLoad(
    () => daysFrom(props.today, tomorrow, 1, (o) => (o === 0 ? Promise.resolve(props.month) : getTarget<MonthView>('calendarDays', { offset: o }))),
    [props.today, props.month],
  );
  const d = day.data?.[0];
  if (!d) return <>{day.error ?? t('loading.tomorrow')}</>;
  const headline = dayHeadline(dayLook(tomorrow, d, props.calendar, null), d, props.calendar.timetables);
  const timetable = props.timetables?.find((tt) => tt.id === d.id);
  const first = timetable ? bellsOfDay(timetable)[0] : undefined;
  return (
    <>
      {d.id === NULL_ID || !timetable ? headline : first ? t('home.tomorrowFirst', { day: headline, time: clockText(first.seconds) }) : t('home.tomorrowSilent', { day: headline })}
      {props.bellsOff && d.id !== NULL_ID && <span class="muted"> {t('home.bellsOffNow')}</span>}
      <br />
      <Link href="/calendar/week">{t('home.seeWeek')}</Link>
    </>
  );
}
