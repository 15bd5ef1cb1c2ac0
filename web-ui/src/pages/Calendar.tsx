import { useState } from 'preact/hooks';
import { ErrorText, Link, Loading, Outcome, Page } from '../components/ui';
import { ApiError, getTarget, getTimetables, trigger, updateSettings } from '../lib/api';
import { bellsOfDay } from '../lib/bells';
import { dateOfCell, dayLook, whyThisTimetable } from '../lib/dayView';
import { changedPart, useLiveEvents } from '../lib/live';
import { notifyChanged, useChanged } from '../lib/playerState';
import {
  bitsFromDays,
  describeDays,
  RECURRENCE_MODES,
  recurrenceInText,
  TYPE_OF_DAY,
  timetableColour,
  timetableName,
  typeOfDayLabel,
  WEEKDAY_INDEXES,
  WORKDAY_MODES,
} from '../lib/calendar';
import { t } from '../i18n';
import { clockText, dateTimeText, dayRange, longDate, monthTitle, weekdayAndDay, weekdayName } from '../i18n/format';
import { useAction, useLoad } from '../lib/hooks';
import { CalendarFeeds } from './CalendarFeeds';
import { CalendarImport } from './CalendarImport';
import { checkPeriod, dateText } from '../lib/time';
import type { AudioAsset, CalendarInfo, DayInfo, MonthView, NamedId, RecurringEvent, Settings, SingleEvent, TypeOfDay } from '../lib/types';
import { NULL_ID } from '../lib/types';

function TimetableChoice(props: { id: string; value: string; timetables: NamedId[]; onChange: (v: string) => void }) {
  return (
    <div class="field">
      <label for={props.id}>{t('calendar.timetableOnDays')}</label>
      <select id={props.id} value={props.value} onChange={(e) => props.onChange(e.currentTarget.value)}>
        <option value={NULL_ID}>{t('calendar.noBellsDayOff')}</option>
        {props.timetables.map((tt) => (
          <option key={tt.id} value={tt.id}>
            {tt.name}
          </option>
        ))}
      </select>
    </div>
  );
}

/** The bells of one day, with the timetable and the rule that chose it. */
function DayDetails(props: { date: string; label: string; day: DayInfo; info: CalendarInfo; settings?: Settings; onClose: () => void }) {
  const { day, info } = props;
  const timetables = useLoad(getTimetables, [day.id]);
  const signals = useLoad(() => getTarget<AudioAsset[]>('signals'));
  const timetable = timetables.data?.find((tt) => tt.id === day.id);
  const bells = timetable ? bellsOfDay(timetable) : [];
  const signalName = (id: string) => signals.data?.find((s) => s.id === id)?.name ?? t('calendar.missingSignal', { id });
  const off = props.settings?.schedulerEnable === false;
  const selectedToday = props.settings?.dailyPreferences?.selectedTimetableId;
  return (
    <section class="day-view" aria-labelledby="day-view-title">
      <div class="month-head">
        <h3 id="day-view-title">{props.label}</h3>
        <button type="button" onClick={props.onClose}>
          {t('calendar.closeDay')}
        </button>
      </div>
      <dl class="facts">
        <dt>{t('common.typeOfDay')}</dt>
        <dd>{dayLook(props.date, day, info, selectedToday).label}</dd>
        <dt>{t('common.timetable')}</dt>
        <dd>
          <strong>{timetableName(day.id, info.timetables)}</strong>
          <br />
          <span class="muted">{whyThisTimetable(props.date, day, info, selectedToday)}</span>
        </dd>
      </dl>
      {off && <p class="msg msg-warn">{t('calendar.dayBellsOff')}</p>}
      <ErrorText error={timetables.error ?? signals.error} />
      {day.id === NULL_ID ? (
        <p>{t('calendar.noBellsOnDay')}</p>
      ) : !timetables.data ? (
        <Loading text={t('loading.bells')} />
      ) : !timetable ? (
        <p class="msg msg-error">{t('calendar.timetableGone')}</p>
      ) : bells.length === 0 ? (
        <p>{t('calendar.ringsNothing', { name: timetable.name })}</p>
      ) : (
        <table class="data day-bells">
          <caption class="visually-hidden">{t('calendar.bellsOn', { day: props.label })}</caption>
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
                <td>{signalName(b.signalId)}</td>
              </tr>
            ))}
          </tbody>
        </table>
      )}
    </section>
  );
}

/** A day cell's name for screen readers and the pointer: a day off by an event is that event. */
function cellLabel(date: string, d: DayInfo, look: ReturnType<typeof dayLook>, timetable: string): string {
  const day = weekdayAndDay(date);
  if (look.className === 'day-event-off') return t(d.isToday ? 'calendar.cellOffToday' : 'calendar.cellOff', { day, what: look.label });
  const type = look.eventName ? t('calendar.typeWithEvent', { name: look.eventName, type: look.label }) : look.label;
  return t(d.isToday ? 'calendar.cellToday' : 'calendar.cell', { day, type, timetable });
}

/** "Winter break, 21 Dec 2026 – 1 Jan 2027: No bells". */
function eventText(ev: SingleEvent, timetables: NamedId[]): string {
  const values = { name: ev.name ?? '', days: dayRange(dateText(ev.start), dateText(ev.end)), timetable: timetableName(ev.timeTableId, timetables) };
  return ev.name ? t('calendar.namedEventText', values) : t('calendar.eventText', values);
}

/** "21 Dec 2026 – 1 Jan 2027: Winter break — no bells", for the list under the month. */
function monthEventText(ev: SingleEvent, timetables: NamedId[]): string {
  const timetable = timetableName(ev.timeTableId, timetables);
  const what =
    ev.timeTableId === NULL_ID
      ? ev.name
        ? t('calendar.namedDayOff', { name: ev.name })
        : t('calendar.dayOffByEvent')
      : ev.name
        ? t('calendar.dayWithTimetable', { type: ev.name, timetable })
        : timetable;
  return t('calendar.monthEvent', { days: dayRange(dateText(ev.start), dateText(ev.end)), what });
}

/** The single events that touch the shown month, in date order. */
function eventsInMonth(events: SingleEvent[], view: MonthView): SingleEvent[] {
  const prefix = `${String(view.year).padStart(4, '0')}-${String(view.month).padStart(2, '0')}`;
  const first = `${prefix}-01`;
  const last = `${prefix}-31`;
  return byDate(events.map((event, index) => ({ event, index })))
    .map((e) => e.event)
    .filter((e) => dateText(e.start) <= last && dateText(e.end) >= first && dateText(e.start) <= dateText(e.end));
}

/** Events in date order, each with its place in the stored list (which a delete names). */
function byDate<T extends { event: SingleEvent }>(events: T[]): T[] {
  const key = (e: SingleEvent) => `${dateText(e.start)} ${dateText(e.end)} ${e.name ?? ''}`;
  return [...events].sort((a, b) => (key(a.event) < key(b.event) ? -1 : key(a.event) > key(b.event) ? 1 : 0));
}

function Month(props: { offset: number; setOffset: (n: number) => void; info: CalendarInfo; settings?: Settings; version: number }) {
  const view = useLoad(() => getTarget<MonthView>('calendarDays', { offset: props.offset }), [props.offset, props.version]);
  const [selected, setSelected] = useState<number>();
  const v = view.data;
  const bellsOff = props.settings?.schedulerEnable === false;
  const weeks: MonthView['days'][] = [];
  if (v) for (let i = 0; i < v.days.length; i += 7) weeks.push(v.days.slice(i, i + 7));
  const timetables = props.info.timetables;
  const title = v ? monthTitle(v.year, v.month) : t('calendar.month');
  const used = new Set(v?.days.filter((d) => d.isGivenMonth).map((d) => d.id) ?? []);
  const selectedToday = props.settings?.dailyPreferences?.selectedTimetableId;
  const monthEvents = v ? eventsInMonth(props.info.singleEvents, v) : [];
  return (
    <section class="card" aria-labelledby="month-title">
      <div class="month-head">
        <button type="button" onClick={() => props.setOffset(props.offset - 1)} aria-label={t('calendar.previousMonth')}>
          {t('calendar.previous')}
        </button>
        <h2 id="month-title" aria-live="polite">
          {title}
        </h2>
        <button type="button" onClick={() => props.setOffset(props.offset + 1)} aria-label={t('calendar.nextMonth')}>
          {t('calendar.next')}
        </button>
      </div>
      {props.offset !== 0 && (
        <p class="center">
          <button type="button" class="link-button" onClick={() => props.setOffset(0)}>
            {t('calendar.backToThisMonth')}
          </button>
        </p>
      )}
      <ErrorText error={view.error} />
      {bellsOff && (
        <p class="msg msg-warn" role="status">
          {t('calendar.monthBellsOff')}
        </p>
      )}
      {!v ? (
        <Loading text={t('loading.month')} />
      ) : (
        <>
          <table class={`month ${bellsOff ? 'bells-off' : ''}`} aria-labelledby="month-title">
            <thead>
              <tr>
                {WEEKDAY_INDEXES.map((i) => (
                  <th key={i} scope="col" abbr={weekdayName(i)}>
                    {weekdayName(i, 'short')}
                  </th>
                ))}
              </tr>
            </thead>
            <tbody>
              {weeks.map((week, w) => (
                <tr key={w}>
                  {week.map((d, i) => {
                    const date = dateOfCell(v, w * 7 + i);
                    const look = dayLook(date, d, props.info, selectedToday);
                    const colour = timetableColour(d.id, timetables);
                    const label = cellLabel(date, d, look, timetableName(d.id, timetables));
                    return (
                      <td
                        key={i}
                        class={`${look.className} ${d.isGivenMonth ? '' : 'other-month'} ${d.isToday ? 'today' : ''}`}
                        title={label}
                        data-date-day={d.isGivenMonth ? d.day : undefined}
                        data-timetable={d.id}
                        data-type={d.typeOfDay}
                        data-event={look.eventName}
                      >
                        <button
                          type="button"
                          class="day-button"
                          aria-pressed={selected === w * 7 + i}
                          onClick={() => setSelected(selected === w * 7 + i ? undefined : w * 7 + i)}
                        >
                          <span class="visually-hidden">{label}</span>
                          <span aria-hidden="true" class="day-no">
                            {d.day}
                          </span>
                          {look.eventName && (
                            <span aria-hidden="true" class="day-event">
                              {look.eventName}
                            </span>
                          )}
                          <span aria-hidden="true" class="tt-bar" style={colour ? { background: colour } : undefined}>
                            {colour ? '' : '×'}
                          </span>
                        </button>
                      </td>
                    );
                  })}
                </tr>
              ))}
            </tbody>
          </table>
          {selected !== undefined && v.days[selected] && (
            <DayDetails
              date={dateOfCell(v, selected)}
              label={longDate(dateOfCell(v, selected))}
              day={v.days[selected]}
              info={props.info}
              settings={props.settings}
              onClose={() => setSelected(undefined)}
            />
          )}
          <p class="muted small">{t('calendar.chooseDay')}</p>
          {monthEvents.length > 0 && (
            <>
              <h3 class="small-heading">{t('calendar.eventsThisMonth')}</h3>
              <ul class="month-events">
                {monthEvents.map((ev, i) => (
                  <li key={i}>
                    <span class={`swatch ${ev.timeTableId === NULL_ID ? 'day-event-off' : 'bar'}`} style={ev.timeTableId === NULL_ID ? undefined : { background: timetableColour(ev.timeTableId, timetables) }} aria-hidden="true" />{' '}
                    {monthEventText(ev, timetables)}
                  </li>
                ))}
              </ul>
            </>
          )}
          <div class="legend" aria-label={t('calendar.legend')}>
            <h3 class="small-heading">{t('calendar.typesOfDay')}</h3>
            <ul>
              {(Object.keys(TYPE_OF_DAY) as TypeOfDay[]).map((type) => (
                <li key={type}>
                  <span class={`swatch ${TYPE_OF_DAY[type].className}`} aria-hidden="true" /> {typeOfDayLabel(type)}
                </li>
              ))}
              <li>
                <span class="swatch day-event-off" aria-hidden="true" /> {t('calendar.legendEventOff')}
              </li>
            </ul>
            <h3 class="small-heading">{t('calendar.timetableBars')}</h3>
            <ul>
              {timetables
                .filter((tt) => used.has(tt.id))
                .map((tt) => (
                  <li key={tt.id}>
                    <span class="swatch bar" style={{ background: timetableColour(tt.id, timetables) }} aria-hidden="true" /> {tt.name}
                  </li>
                ))}
              <li>
                <span class="swatch bar none" aria-hidden="true">
                  ×
                </span>{' '}
                {t('calendar.noBells')}
              </li>
            </ul>
          </div>
        </>
      )}
    </section>
  );
}

/**
 * Deletes an event by its place in the list, naming the event meant. When the list changed on
 * another screen, nothing is deleted: the list is reloaded and the user is told.
 */
async function deleteNamed(remove: () => Promise<void>, reload: () => Promise<void>): Promise<void> {
  try {
    await remove();
  } catch (e) {
    if (e instanceof ApiError && e.status === 409) {
      await reload();
      throw new Error(t('calendar.changedElsewhere'));
    }
    throw e;
  }
  await reload();
  notifyChanged();
}

function WeekAndRegion(props: { info: CalendarInfo; onChanged: () => Promise<void> }) {
  const { info } = props;
  const action = useAction();
  // Shown while a change is on its way, so a control does not jump back until the answer comes.
  const [pending, setPending] = useState<{ mode?: number; region?: string; breaks?: boolean }>({});
  const change = (changes: Record<string, unknown>, text: string) =>
    action
      .run(async () => {
        await updateSettings(changes);
        await props.onChanged();
        return text;
      })
      .finally(() => setPending({}));
  const regionKnown = info.regions.some((r) => r.id === info.syncRegionId);
  return (
    <section class="card" aria-labelledby="week-title">
      <h2 id="week-title">{t('calendar.weekTitle')}</h2>
      <div class="field">
        <label for="workday-mode">{t('calendar.schoolDays')}</label>
        <select
          id="workday-mode"
          value={String(pending.mode ?? info.workdayMode)}
          disabled={action.busy}
          onChange={(e) => {
            const v = Number(e.currentTarget.value);
            setPending({ mode: v });
            void change({ 'calendar.workdayMode': v }, t('calendar.weekChanged'));
          }}
        >
          {WORKDAY_MODES.map((m) => (
            <option key={m.value} value={String(m.value)}>
              {t(m.label)}
            </option>
          ))}
        </select>
      </div>
      <div class="field">
        <label for="region">{t('calendar.region')}</label>
        <select
          id="region"
          value={pending.region ?? info.syncRegionId}
          disabled={action.busy}
          onChange={(e) => {
            const v = e.currentTarget.value;
            setPending({ region: v });
            void change({ 'calendar.syncRegionId': v }, t('calendar.regionChanged'));
          }}
        >
          {!regionKnown && (
            <option value={info.syncRegionId}>
              {info.syncRegionId ? t('calendar.notDownloaded', { id: info.syncRegionId }) : t('calendar.noRegion')}
            </option>
          )}
          {info.regions.map((r) => (
            <option key={r.id} value={r.id}>
              {r.name || r.id}
            </option>
          ))}
        </select>
        <small class="muted">
          {info.lastUpdate
            ? t('calendar.lastUpdate', { when: dateTimeText(info.lastUpdate) })
            : t('calendar.notDownloadedYet')}
        </small>
      </div>
      <div class="field-inline switch">
        <input
          id="school-breaks"
          type="checkbox"
          role="switch"
          checked={pending.breaks ?? info.syncSchoolHolidays}
          disabled={action.busy}
          onChange={(e) => {
            const on = e.currentTarget.checked;
            setPending({ breaks: on });
            void change({ 'calendar.syncSchoolHolidays': on }, on ? t('calendar.breaksSilent') : t('calendar.breaksRing'));
          }}
        />
        <label for="school-breaks">{t('calendar.noBellsInBreaks')}</label>
      </div>
      <Outcome action={action} />
    </section>
  );
}

function SingleEvents(props: { info: CalendarInfo; onChanged: () => Promise<void> }) {
  const { info } = props;
  const [timetableId, setTimetableId] = useState(NULL_ID);
  const [start, setStart] = useState(info.date);
  const [end, setEnd] = useState(info.date);
  const [name, setName] = useState('');
  const [showPast, setShowPast] = useState(false);
  const [problem, setProblem] = useState<string>();
  const action = useAction();
  const add = (e: Event) => {
    e.preventDefault();
    action.clear();
    const period = checkPeriod(start, end);
    if (!period.ok) {
      setProblem(period.error);
      return;
    }
    setProblem(undefined);
    // An event added in the past is shown, not folded away out of sight.
    if (period.value.end < info.date) setShowPast(true);
    void action.run(async () => {
      const named = name.trim();
      await trigger('addSingleEvent', 0, { timetableId, startDate: period.value.start, endDate: period.value.end, ...(named ? { name: named } : {}) });
      setName('');
      await props.onChanged();
      return t('calendar.eventAdded');
    });
  };
  const remove = (index: number, ev: SingleEvent) =>
    action.run(async () => {
      await deleteNamed(
        () =>
          trigger('deleteSingleEvent', index, {
            expectTimetableId: ev.timeTableId,
            expectStart: dateText(ev.start),
            expectEnd: dateText(ev.end),
          }),
        props.onChanged,
      );
      return t('calendar.eventDeleted');
    });
  // In date order; the ones that are over are folded away. A subscribed calendar's events are
  // listed with the calendar; the delete still needs each event's place in the whole list.
  const own = info.singleEvents.map((event, index) => ({ event, index })).filter(({ event }) => !event.feed);
  const sorted = byDate(own);
  const past = sorted.filter((e) => dateText(e.event.end) < info.date);
  const coming = sorted.filter((e) => dateText(e.event.end) >= info.date);
  const item = ({ event: ev, index }: { event: SingleEvent; index: number }) => {
    const text = eventText(ev, info.timetables);
    return (
      <li key={`${index}-${dateText(ev.start)}-${dateText(ev.end)}-${ev.timeTableId}`} class="event">
        <span>{text}</span>
        <button type="button" class="small-button danger" disabled={action.busy} onClick={() => window.confirm(t('calendar.deleteEventConfirm', { text })) && remove(index, ev)} aria-label={t('calendar.deleteEvent', { text })}>
          {t('common.delete')}
        </button>
      </li>
    );
  };
  return (
    <section class="card" aria-labelledby="single-title">
      <h2 id="single-title">{t('calendar.singleTitle')}</h2>
      <p class="muted small">{t('calendar.singleIntro')}</p>
      {own.length === 0 ? (
        <p class="muted">{t('calendar.noSingle')}</p>
      ) : (
        <>
          {coming.length > 0 && <ul class="plain-list events">{coming.map(item)}</ul>}
          {past.length > 0 && (
            <details class="past-events" open={showPast} onToggle={(e) => setShowPast(e.currentTarget.open)}>
              <summary>{t('calendar.pastEvents', { count: past.length })}</summary>
              <ul class="plain-list events">{past.map(item)}</ul>
            </details>
          )}
        </>
      )}
      <form onSubmit={add} noValidate>
        <h3 class="small-heading">{t('calendar.addSingleTitle')}</h3>
        <div class="row">
          <div class="field">
            <label for="single-start">{t('calendar.firstDay')}</label>
            <input id="single-start" type="date" value={start} onInput={(e) => setStart(e.currentTarget.value)} required />
          </div>
          <div class="field">
            <label for="single-end">{t('calendar.lastDay')}</label>
            <input id="single-end" type="date" value={end} onInput={(e) => setEnd(e.currentTarget.value)} required />
          </div>
          <TimetableChoice id="single-timetable" value={timetableId} timetables={info.timetables} onChange={setTimetableId} />
        </div>
        <div class="field">
          <label for="single-name">{t('calendar.eventName')}</label>
          <input id="single-name" type="text" value={name} maxLength={MAX_EVENT_NAME} onInput={(e) => setName(e.currentTarget.value)} aria-describedby="single-name-hint" />
          <small id="single-name-hint" class="muted">
            {t('calendar.eventNameHint')}
          </small>
        </div>
        <ErrorText error={problem} />
        <button type="submit" class="primary" disabled={action.busy}>
          {t('calendar.addEvent')}
        </button>
      </form>
      <Outcome action={action} />
    </section>
  );
}

function RecurringEvents(props: { info: CalendarInfo; onChanged: () => Promise<void> }) {
  const { info } = props;
  const [timetableId, setTimetableId] = useState(info.timetables[0]?.id ?? NULL_ID);
  const [days, setDays] = useState<number[]>([]);
  const [mode, setMode] = useState(1);
  const [problem, setProblem] = useState<string>();
  const action = useAction();
  const add = (e: Event) => {
    e.preventDefault();
    action.clear();
    if (days.length === 0) {
      setProblem(t('calendar.tickDay'));
      return;
    }
    setProblem(undefined);
    void action.run(async () => {
      await trigger('addReoccurringEvent', 0, { timetableId, mode, days: bitsFromDays(days) });
      setDays([]);
      await props.onChanged();
      return t('calendar.weeklyAdded');
    });
  };
  const remove = (index: number, ev: RecurringEvent) =>
    action.run(async () => {
      await deleteNamed(
        () => trigger('deleteReoccurringEvent', index, { expectTimetableId: ev.timeTableId, expectMode: ev.mode, expectDays: ev.days }),
        props.onChanged,
      );
      return t('calendar.weeklyDeleted');
    });
  return (
    <section class="card" aria-labelledby="recurring-title">
      <h2 id="recurring-title">{t('calendar.weeklyTitle')}</h2>
      <p class="muted small">{t('calendar.weeklyIntro')}</p>
      {info.reoccurringEvents.length === 0 ? (
        <p class="muted">{t('calendar.noWeekly')}</p>
      ) : (
        <ul class="plain-list events">
          {info.reoccurringEvents.map((ev, i) => {
            const text = t('calendar.weeklyText', { days: describeDays(ev.days), weeks: recurrenceInText(ev.mode), timetable: timetableName(ev.timeTableId, info.timetables) });
            return (
              <li key={`${i}-${ev.days}-${ev.mode}-${ev.timeTableId}`} class="event">
                <span>{text}</span>
                <button type="button" class="small-button danger" disabled={action.busy} onClick={() => window.confirm(t('calendar.deleteWeeklyConfirm', { text })) && remove(i, ev)} aria-label={t('calendar.deleteWeekly', { text })}>
                  {t('common.delete')}
                </button>
              </li>
            );
          })}
        </ul>
      )}
      <form onSubmit={add} noValidate>
        <h3 class="small-heading">{t('calendar.addWeeklyTitle')}</h3>
        <fieldset class="weekdays">
          <legend>{t('calendar.days')}</legend>
          {WEEKDAY_INDEXES.map((i) => (
            <span key={i} class="field-inline">
              <input
                id={`weekday-${i}`}
                type="checkbox"
                checked={days.includes(i)}
                onChange={(e) => {
                  const on = e.currentTarget.checked;
                  setDays((old) => (on ? [...old, i] : old.filter((x) => x !== i)));
                }}
              />
              <label for={`weekday-${i}`}>{weekdayName(i)}</label>
            </span>
          ))}
        </fieldset>
        <fieldset class="modes">
          <legend>{t('calendar.weeks')}</legend>
          {RECURRENCE_MODES.map((m) => (
            <span key={m.value} class="field-inline">
              <input id={`mode-${m.value}`} type="radio" name="mode" checked={mode === m.value} onChange={() => setMode(m.value)} />
              <label for={`mode-${m.value}`}>{t(m.label)}</label>
            </span>
          ))}
        </fieldset>
        <TimetableChoice id="recurring-timetable" value={timetableId} timetables={info.timetables} onChange={setTimetableId} />
        <ErrorText error={problem} />
        <button type="submit" class="primary" disabled={action.busy}>
          {t('calendar.addWeekly')}
        </button>
      </form>
      <Outcome action={action} />
    </section>
  );
}

// The longest event name the player takes.
const MAX_EVENT_NAME = 200;

export function CalendarPage() {
  const [offset, setOffset] = useState(0);
  const [version, setVersion] = useState(0);
  const info = useLoad(() => getTarget<CalendarInfo>('calendarInfo'));
  const settings = useLoad(() => getTarget<Settings>('settings'));
  const changed = async () => {
    await info.reload();
    setVersion((v) => v + 1);
  };
  useChanged(() => void settings.reload());
  // Another screen's change shows here too.
  useLiveEvents(['database'], (name, data) => {
    const part = changedPart(data);
    if (name === 'reconnected' || part === 'calendar' || part === 'settings' || part === 'timetables') {
      void settings.reload();
      void changed();
    }
  });
  return (
    <Page
      title={t('calendar.title')}
      actions={
        <Link class="button" href="/calendar/week">
          {t('calendar.weekView')}
        </Link>
      }
    >
      <ErrorText error={info.error} />
      {!info.data ? (
        <Loading text={t('loading.calendar')} />
      ) : (
        <>
          <Month offset={offset} setOffset={setOffset} info={info.data} settings={settings.data} version={version} />
          <WeekAndRegion info={info.data} onChanged={changed} />
          <SingleEvents info={info.data} onChanged={changed} />
          <CalendarImport info={info.data} onChanged={changed} />
          <CalendarFeeds info={info.data} onChanged={changed} />
          <RecurringEvents info={info.data} onChanged={changed} />
        </>
      )}
    </Page>
  );
}
