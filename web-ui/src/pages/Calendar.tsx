import { useState } from 'preact/hooks';
import { ErrorText, Loading, Outcome, Page } from '../components/ui';
import { ApiError, CALENDAR_CHANGED, getTarget, getTimetables, trigger, updateSettings } from '../lib/api';
import { bellsOfDay } from '../lib/bells';
import { dateOfCell, whyThisTimetable } from '../lib/dayView';
import { notifyChanged, useChanged } from '../lib/playerState';
import {
  bitsFromDays,
  describeDays,
  MONTHS,
  RECURRENCE_MODES,
  recurrenceLabel,
  TYPE_OF_DAY,
  timetableColour,
  timetableName,
  typeOfDayLabel,
  WEEKDAYS,
  WEEKDAYS_SHORT,
  WORKDAY_MODES,
} from '../lib/calendar';
import { useAction, useLoad } from '../lib/hooks';
import { CalendarImport } from './CalendarImport';
import { checkPeriod, dateText, formatTime } from '../lib/time';
import type { AudioAsset, CalendarInfo, DayInfo, MonthView, NamedId, RecurringEvent, Settings, SingleEvent, TypeOfDay } from '../lib/types';
import { NULL_ID } from '../lib/types';

function TimetableChoice(props: { id: string; value: string; timetables: NamedId[]; onChange: (v: string) => void }) {
  return (
    <div class="field">
      <label for={props.id}>Timetable on these days</label>
      <select id={props.id} value={props.value} onChange={(e) => props.onChange(e.currentTarget.value)}>
        <option value={NULL_ID}>No bells (day off)</option>
        {props.timetables.map((t) => (
          <option key={t.id} value={t.id}>
            {t.name}
          </option>
        ))}
      </select>
    </div>
  );
}

const at = (s: number) => formatTime({ h: Math.floor(s / 3600), m: Math.floor((s % 3600) / 60), s: s % 60 });

/** The bells of one day, with the timetable and the rule that chose it. */
function DayDetails(props: { date: string; label: string; day: DayInfo; info: CalendarInfo; settings?: Settings; onClose: () => void }) {
  const { day, info } = props;
  const timetables = useLoad(getTimetables, [day.id]);
  const signals = useLoad(() => getTarget<AudioAsset[]>('signals'));
  const timetable = timetables.data?.find((t) => t.id === day.id);
  const bells = timetable ? bellsOfDay(timetable) : [];
  const signalName = (id: string) => signals.data?.find((s) => s.id === id)?.name ?? `missing signal (${id})`;
  const off = props.settings?.schedulerEnable === false;
  return (
    <section class="day-view" aria-labelledby="day-view-title">
      <div class="month-head">
        <h3 id="day-view-title">{props.label}</h3>
        <button type="button" onClick={props.onClose}>
          Close the day
        </button>
      </div>
      <dl class="facts">
        <dt>Type of day</dt>
        <dd>{typeOfDayLabel(day.typeOfDay)}</dd>
        <dt>Timetable</dt>
        <dd>
          <strong>{timetableName(day.id, info.timetables)}</strong>
          <br />
          <span class="muted">{whyThisTimetable(props.date, day, info, props.settings?.dailyPreferences?.selectedTimetableId)}</span>
        </dd>
      </dl>
      {off && <p class="msg msg-warn">Bells are switched off: nothing rings on this day unless they are switched on again.</p>}
      <ErrorText error={timetables.error ?? signals.error} />
      {day.id === NULL_ID ? (
        <p>No bells on this day.</p>
      ) : !timetables.data ? (
        <Loading what="the bells" />
      ) : !timetable ? (
        <p class="msg msg-error">The timetable of this day no longer exists: no bells ring.</p>
      ) : bells.length === 0 ? (
        <p>The timetable "{timetable.name}" rings no bells.</p>
      ) : (
        <table class="data day-bells">
          <caption class="visually-hidden">Bells on {props.label}</caption>
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
                <td>{signalName(b.signalId)}</td>
              </tr>
            ))}
          </tbody>
        </table>
      )}
    </section>
  );
}

function Month(props: { offset: number; setOffset: (n: number) => void; info: CalendarInfo; settings?: Settings; version: number }) {
  const view = useLoad(() => getTarget<MonthView>('calendarDays', { offset: props.offset }), [props.offset, props.version]);
  const [selected, setSelected] = useState<number>();
  const v = view.data;
  const bellsOff = props.settings?.schedulerEnable === false;
  const weeks: MonthView['days'][] = [];
  if (v) for (let i = 0; i < v.days.length; i += 7) weeks.push(v.days.slice(i, i + 7));
  const timetables = props.info.timetables;
  const title = v ? `${MONTHS[v.month - 1]} ${v.year}` : 'Month';
  const used = new Set(v?.days.filter((d) => d.isGivenMonth).map((d) => d.id) ?? []);
  const monthNumber = (d: MonthView['days'][number], index: number) => {
    if (!v || d.isGivenMonth) return v?.month ?? 1;
    return index < 7 ? ((v.month + 10) % 12) + 1 : (v.month % 12) + 1;
  };
  return (
    <section class="card" aria-labelledby="month-title">
      <div class="month-head">
        <button type="button" onClick={() => props.setOffset(props.offset - 1)} aria-label="Previous month">
          ‹ Previous
        </button>
        <h2 id="month-title" aria-live="polite">
          {title}
        </h2>
        <button type="button" onClick={() => props.setOffset(props.offset + 1)} aria-label="Next month">
          Next ›
        </button>
      </div>
      {props.offset !== 0 && (
        <p class="center">
          <button type="button" class="link-button" onClick={() => props.setOffset(0)}>
            Back to this month
          </button>
        </p>
      )}
      <ErrorText error={view.error} />
      {bellsOff && (
        <p class="msg msg-warn" role="status">
          Bells are switched off: none of these days rings until they are switched on again. The month shows what would ring.
        </p>
      )}
      {!v ? (
        <Loading what="the month" />
      ) : (
        <>
          <table class={`month ${bellsOff ? 'bells-off' : ''}`} aria-labelledby="month-title">
            <thead>
              <tr>
                {WEEKDAYS_SHORT.map((d, i) => (
                  <th key={d} scope="col" abbr={WEEKDAYS[i]}>
                    {d}
                  </th>
                ))}
              </tr>
            </thead>
            <tbody>
              {weeks.map((week, w) => (
                <tr key={w}>
                  {week.map((d, i) => {
                    const type = TYPE_OF_DAY[d.typeOfDay as TypeOfDay];
                    const colour = timetableColour(d.id, timetables);
                    const name = timetableName(d.id, timetables);
                    const label = `${WEEKDAYS[i]} ${d.day} ${MONTHS[monthNumber(d, w * 7 + i) - 1]}: ${typeOfDayLabel(d.typeOfDay)}, ${name}${d.isToday ? ', today' : ''}`;
                    return (
                      <td
                        key={i}
                        class={`${type?.className ?? ''} ${d.isGivenMonth ? '' : 'other-month'} ${d.isToday ? 'today' : ''}`}
                        title={label}
                        data-date-day={d.isGivenMonth ? d.day : undefined}
                        data-timetable={d.id}
                        data-type={d.typeOfDay}
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
              label={`${WEEKDAYS[selected % 7]} ${dateOfCell(v, selected)}`}
              day={v.days[selected]}
              info={props.info}
              settings={props.settings}
              onClose={() => setSelected(undefined)}
            />
          )}
          <p class="muted small">Choose a day to see its bells.</p>
          <div class="legend" aria-label="Legend">
            <h3 class="small-heading">Types of day</h3>
            <ul>
              {(Object.keys(TYPE_OF_DAY) as TypeOfDay[]).map((t) => (
                <li key={t}>
                  <span class={`swatch ${TYPE_OF_DAY[t].className}`} aria-hidden="true" /> {TYPE_OF_DAY[t].label}
                </li>
              ))}
            </ul>
            <h3 class="small-heading">Timetables (bar under the day)</h3>
            <ul>
              {timetables
                .filter((t) => used.has(t.id))
                .map((t) => (
                  <li key={t.id}>
                    <span class="swatch bar" style={{ background: timetableColour(t.id, timetables) }} aria-hidden="true" /> {t.name}
                  </li>
                ))}
              <li>
                <span class="swatch bar none" aria-hidden="true">
                  ×
                </span>{' '}
                No bells
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
      throw new Error(`${CALENDAR_CHANGED}: it was changed on another screen, so nothing was deleted. The list is now up to date; check it and try again.`);
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
      <h2 id="week-title">Working week and holidays</h2>
      <div class="field">
        <label for="workday-mode">School days of the week</label>
        <select
          id="workday-mode"
          value={String(pending.mode ?? info.workdayMode)}
          disabled={action.busy}
          onChange={(e) => {
            const v = Number(e.currentTarget.value);
            setPending({ mode: v });
            void change({ 'calendar.workdayMode': v }, 'The working week is changed.');
          }}
        >
          {WORKDAY_MODES.map((m) => (
            <option key={m.value} value={String(m.value)}>
              {m.label}
            </option>
          ))}
        </select>
      </div>
      <div class="field">
        <label for="region">Region for public holidays and school breaks</label>
        <select
          id="region"
          value={pending.region ?? info.syncRegionId}
          disabled={action.busy}
          onChange={(e) => {
            const v = e.currentTarget.value;
            setPending({ region: v });
            void change({ 'calendar.syncRegionId': v }, 'The region is changed.');
          }}
        >
          {!regionKnown && (
            <option value={info.syncRegionId}>
              {info.syncRegionId ? `${info.syncRegionId} (not downloaded yet)` : 'None'}
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
            ? `Holiday calendars last updated: ${info.lastUpdate}.`
            : 'The holiday calendars have not been downloaded yet: the player needs an internet connection for them. Until then only the working week and your own events count.'}
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
            void change({ 'calendar.syncSchoolHolidays': on }, on ? 'School breaks of the region are silent.' : 'School breaks of the region ring like school days.');
          }}
        />
        <label for="school-breaks">No bells during the region's school breaks</label>
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
    void action.run(async () => {
      await trigger('addSingleEvent', 0, { timetableId, startDate: period.value.start, endDate: period.value.end });
      await props.onChanged();
      return 'The event is added.';
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
      return 'The event is deleted.';
    });
  return (
    <section class="card" aria-labelledby="single-title">
      <h2 id="single-title">Single events</h2>
      <p class="muted small">A period of days with its own timetable, or with no bells. The first matching event counts, before weekly events.</p>
      {info.singleEvents.length === 0 ? (
        <p class="muted">No single events.</p>
      ) : (
        <ul class="plain-list events">
          {info.singleEvents.map((ev, i) => {
            const s = dateText(ev.start);
            const e2 = dateText(ev.end);
            const days = s === e2 ? s : `${s} to ${e2}`;
            const text = `${ev.name ? `${ev.name}, ${days}` : days}: ${timetableName(ev.timeTableId, info.timetables)}`;
            return (
              <li key={`${i}-${s}-${e2}-${ev.timeTableId}`} class="event">
                <span>{text}</span>
                <button type="button" class="small-button danger" disabled={action.busy} onClick={() => window.confirm(`Delete the event ${text}?`) && remove(i, ev)} aria-label={`Delete event ${text}`}>
                  Delete
                </button>
              </li>
            );
          })}
        </ul>
      )}
      <form onSubmit={add} noValidate>
        <h3 class="small-heading">Add a single event</h3>
        <div class="row">
          <div class="field">
            <label for="single-start">First day</label>
            <input id="single-start" type="date" value={start} onInput={(e) => setStart(e.currentTarget.value)} required />
          </div>
          <div class="field">
            <label for="single-end">Last day</label>
            <input id="single-end" type="date" value={end} onInput={(e) => setEnd(e.currentTarget.value)} required />
          </div>
          <TimetableChoice id="single-timetable" value={timetableId} timetables={info.timetables} onChange={setTimetableId} />
        </div>
        <ErrorText error={problem} />
        <button type="submit" class="primary" disabled={action.busy}>
          Add event
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
      setProblem('Tick at least one day of the week.');
      return;
    }
    setProblem(undefined);
    void action.run(async () => {
      await trigger('addReoccurringEvent', 0, { timetableId, mode, days: bitsFromDays(days) });
      setDays([]);
      await props.onChanged();
      return 'The weekly event is added.';
    });
  };
  const remove = (index: number, ev: RecurringEvent) =>
    action.run(async () => {
      await deleteNamed(
        () => trigger('deleteReoccurringEvent', index, { expectTimetableId: ev.timeTableId, expectMode: ev.mode, expectDays: ev.days }),
        props.onChanged,
      );
      return 'The weekly event is deleted.';
    });
  return (
    <section class="card" aria-labelledby="recurring-title">
      <h2 id="recurring-title">Weekly events</h2>
      <p class="muted small">A timetable on some days of every week, or of odd or even weeks (ISO week numbers).</p>
      {info.reoccurringEvents.length === 0 ? (
        <p class="muted">No weekly events.</p>
      ) : (
        <ul class="plain-list events">
          {info.reoccurringEvents.map((ev, i) => {
            const text = `${describeDays(ev.days)}, ${recurrenceLabel(ev.mode).toLowerCase()}: ${timetableName(ev.timeTableId, info.timetables)}`;
            return (
              <li key={`${i}-${ev.days}-${ev.mode}-${ev.timeTableId}`} class="event">
                <span>{text}</span>
                <button type="button" class="small-button danger" disabled={action.busy} onClick={() => window.confirm(`Delete the weekly event ${text}?`) && remove(i, ev)} aria-label={`Delete weekly event ${text}`}>
                  Delete
                </button>
              </li>
            );
          })}
        </ul>
      )}
      <form onSubmit={add} noValidate>
        <h3 class="small-heading">Add a weekly event</h3>
        <fieldset class="weekdays">
          <legend>Days</legend>
          {WEEKDAYS.map((d, i) => (
            <span key={d} class="field-inline">
              <input
                id={`weekday-${i}`}
                type="checkbox"
                checked={days.includes(i)}
                onChange={(e) => {
                  const on = e.currentTarget.checked;
                  setDays((old) => (on ? [...old, i] : old.filter((x) => x !== i)));
                }}
              />
              <label for={`weekday-${i}`}>{d}</label>
            </span>
          ))}
        </fieldset>
        <fieldset class="modes">
          <legend>Weeks</legend>
          {RECURRENCE_MODES.map((m) => (
            <span key={m.value} class="field-inline">
              <input id={`mode-${m.value}`} type="radio" name="mode" checked={mode === m.value} onChange={() => setMode(m.value)} />
              <label for={`mode-${m.value}`}>{m.label}</label>
            </span>
          ))}
        </fieldset>
        <TimetableChoice id="recurring-timetable" value={timetableId} timetables={info.timetables} onChange={setTimetableId} />
        <ErrorText error={problem} />
        <button type="submit" class="primary" disabled={action.busy}>
          Add weekly event
        </button>
      </form>
      <Outcome action={action} />
    </section>
  );
}

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
  return (
    <Page title="Calendar">
      <ErrorText error={info.error} />
      {!info.data ? (
        <Loading what="the calendar" />
      ) : (
        <>
          <Month offset={offset} setOffset={setOffset} info={info.data} settings={settings.data} version={version} />
          <WeekAndRegion info={info.data} onChanged={changed} />
          <SingleEvents info={info.data} onChanged={changed} />
          <CalendarImport info={info.data} onChanged={changed} />
          <RecurringEvents info={info.data} onChanged={changed} />
        </>
      )}
    </Page>
  );
}
