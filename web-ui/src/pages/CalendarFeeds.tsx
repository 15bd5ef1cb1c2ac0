// "Subscribed calendars": iCalendar addresses (a district's holidays, say) that the player
// fetches at start and once a day; their events become single events marked with the address.
import { useState } from 'preact/hooks';
import { ErrorText, Loading, Outcome } from '../components/ui';
import { addSubscription, ApiError, deleteSubscription, getSubscriptions, refreshSubscriptions, type CalendarSubscription } from '../lib/api';
import { timetableName } from '../lib/calendar';
import { useAction, useLoad } from '../lib/hooks';
import { notifyChanged } from '../lib/playerState';
import type { CalendarInfo } from '../lib/types';
import { NULL_ID } from '../lib/types';
import { t } from '../i18n';
import { dateTimeText, dayRange } from '../i18n/format';
import { serverText } from '../i18n/server';

const URL_PATTERN = /^(https?|webcal):\/\/[^\s/?#]+/i;

/** The player's reason in the dashboard's language, where it is a known one. */
function reasonText(error: string): string {
  const status = /^The calendar's server answered HTTP (\d{3})$/.exec(error);
  return status ? t('feeds.httpStatus', { status: status[1] }) : serverText(error);
}

/** How the last refresh went, in words. */
function Status(props: { feed: CalendarSubscription }) {
  const { feed } = props;
  if (!feed.lastAttempt) return <p class="muted small">{t('feeds.notFetched')}</p>;
  if (!feed.lastError) {
    return <p class="small feed-ok">{t('feeds.refreshed', { when: dateTimeText(feed.lastSuccess), count: feed.events })}</p>;
  }
  return (
    <div class="msg msg-error small">
      <p>{t('feeds.failed', { when: dateTimeText(feed.lastAttempt), reason: reasonText(feed.lastError) })}</p>
      <p>
        {feed.lastSuccess
          ? t('feeds.keptSince', { when: dateTimeText(feed.lastSuccess), count: feed.events })
          : t('feeds.neverFetched')}
      </p>
    </div>
  );
}

function FeedEvents(props: { feed: CalendarSubscription; info: CalendarInfo }) {
  const events = props.info.singleEvents.filter((e) => e.feed === props.feed.url);
  if (events.length === 0) return null;
  return (
    <details class="feed-events">
      <summary>{t('feeds.showEvents', { count: events.length })}</summary>
      <ul class="plain-list">
        {events.map((e, i) => (
          <li key={`${i}-${e.start}-${e.name ?? ''}`}>{t('feeds.eventText', { name: e.name || t('import.unnamed'), days: dayRange(e.start, e.end) })}</li>
        ))}
      </ul>
    </details>
  );
}

export function CalendarFeeds(props: { info: CalendarInfo; onChanged: () => Promise<void> }) {
  const { info } = props;
  const feeds = useLoad(getSubscriptions);
  const [url, setUrl] = useState('');
  const [name, setName] = useState('');
  const [timetableId, setTimetableId] = useState(NULL_ID);
  const [problem, setProblem] = useState<string>();
  const action = useAction();
  const list = feeds.data ?? [];

  /** Fetches every calendar and says how it went; the list and the calendar show the outcome. */
  const refresh = async (): Promise<CalendarSubscription[]> => {
    const answer = await refreshSubscriptions();
    await feeds.reload();
    await props.onChanged();
    notifyChanged();
    return answer;
  };
  const failures = (answer: CalendarSubscription[]) => answer.filter((f) => f.lastError).length;

  const add = (e: Event) => {
    e.preventDefault();
    action.clear();
    const address = url.trim();
    if (!URL_PATTERN.test(address)) {
      setProblem(t('feeds.badUrl'));
      return;
    }
    setProblem(undefined);
    void action.run(async () => {
      await addSubscription(address, name.trim(), timetableId);
      setUrl('');
      setName('');
      const answer = await refresh();
      const added = answer.find((f) => f.url === address);
      if (added?.lastError) throw new Error(t('feeds.addedNotFetched', { reason: reasonText(added.lastError) }));
      return t('feeds.added', { count: added?.events ?? 0 });
    });
  };
  const refreshNow = () =>
    action.run(async () => {
      const failed = failures(await refresh());
      if (failed > 0) throw new Error(t('feeds.someFailed', { count: failed }));
      return t('feeds.allRefreshed');
    });
  const remove = (index: number, feed: CalendarSubscription) =>
    action.run(async () => {
      try {
        await deleteSubscription(index, feed.url);
      } catch (e) {
        if (e instanceof ApiError && e.status === 409) {
          await feeds.reload();
          throw new Error(t('calendar.changedElsewhere'));
        }
        throw e;
      }
      await feeds.reload();
      await props.onChanged();
      notifyChanged();
      return t('feeds.deleted', { name: feed.name });
    });

  return (
    <section class="card" aria-labelledby="feeds-title">
      <h2 id="feeds-title">{t('feeds.title')}</h2>
      <p class="muted small">{t('feeds.intro')}</p>
      <ErrorText error={feeds.error} />
      {!feeds.data ? (
        <Loading text={t('feeds.loading')} />
      ) : list.length === 0 ? (
        <p class="muted">{t('feeds.none')}</p>
      ) : (
        <ul class="plain-list feeds">
          {list.map((feed, i) => (
            <li key={feed.url} class="feed">
              <div class="feed-head">
                <div>
                  <h3 class="list-title">{feed.name}</h3>
                  <p class="muted small feed-url">{feed.url}</p>
                  <p class="small">{t('feeds.rings', { timetable: timetableName(feed.timeTableId, info.timetables) })}</p>
                </div>
                <button
                  type="button"
                  class="small-button danger"
                  disabled={action.busy}
                  onClick={() => window.confirm(t('feeds.deleteConfirm', { name: feed.name })) && remove(i, feed)}
                  aria-label={t('common.deleteNamed', { name: feed.name })}
                >
                  {t('common.delete')}
                </button>
              </div>
              <Status feed={feed} />
              <FeedEvents feed={feed} info={info} />
            </li>
          ))}
        </ul>
      )}
      {list.length > 0 && (
        <button type="button" disabled={action.busy} onClick={() => void refreshNow()}>
          {action.busy ? t('feeds.refreshing') : t('feeds.refreshNow')}
        </button>
      )}
      <form class="feed-add" onSubmit={add} noValidate>
        <h3 class="small-heading">{t('feeds.addTitle')}</h3>
        <div class="field">
          <label for="feed-url">{t('feeds.url')}</label>
          <input id="feed-url" type="url" inputMode="url" autoComplete="off" spellcheck={false} value={url} placeholder={t('feeds.urlExample')} onInput={(e) => setUrl(e.currentTarget.value)} required />
        </div>
        <div class="row">
          <div class="field">
            <label for="feed-name">{t('feeds.name')}</label>
            <input id="feed-name" type="text" maxLength={200} value={name} onInput={(e) => setName(e.currentTarget.value)} />
          </div>
          <div class="field">
            <label for="feed-timetable">{t('feeds.timetable')}</label>
            <select id="feed-timetable" value={timetableId} onChange={(e) => setTimetableId(e.currentTarget.value)}>
              <option value={NULL_ID}>{t('calendar.noBellsDayOff')}</option>
              {info.timetables.map((tt) => (
                <option key={tt.id} value={tt.id}>
                  {tt.name}
                </option>
              ))}
            </select>
          </div>
        </div>
        <ErrorText error={problem} />
        <button type="submit" class="primary" disabled={action.busy}>
          {t('feeds.subscribe')}
        </button>
      </form>
      <Outcome action={action} />
    </section>
  );
}
