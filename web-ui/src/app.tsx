import type { ComponentChildren } from 'preact';
import { useEffect } from 'preact/hooks';
import { LANGUAGE_NAMES, LANGUAGES, isLanguage, rich, setLanguage, setPlayerLanguage, t, useLanguage, type MessageKey } from './i18n';
import { Banners } from './components/Banners';
import { NotAnswering } from './components/NotAnswering';
import { Link } from './components/ui';
import { WELCOME_SKIPPED, logout, onNoAuth } from './lib/api';
import { usePlayerLink } from './lib/live';
import type { Overview } from './lib/types';
import { AFTER_LOGIN, navigate, useLocation } from './lib/router';
import { CalendarPage } from './pages/Calendar';
import { HomePage } from './pages/Home';
import { LoginPage } from './pages/Login';
import { LogPage } from './pages/Log';
import { SettingsPage } from './pages/Settings';
import { SignalsPage } from './pages/Signals';
import { TimetableEditor } from './pages/TimetableEditor';
import { TimetablePrint } from './pages/TimetablePrint';
import { TimetablesPage } from './pages/Timetables';
import { WeekPage } from './pages/Week';
import { WelcomePage } from './pages/Welcome';

const NAV: { href: string; label: MessageKey }[] = [
  { href: '/', label: 'nav.home' },
  { href: '/timetables', label: 'nav.timetables' },
  { href: '/calendar', label: 'nav.calendar' },
  { href: '/calendar/week', label: 'nav.week' },
  { href: '/signals', label: 'nav.signals' },
  { href: '/log', label: 'nav.log' },
  { href: '/settings', label: 'nav.settings' },
];

/** The menu's choice of language, kept in this browser. */
function LanguageChoice() {
  const current = useLanguage();
  return (
    <span class="language-choice">
      <label for="language">{t('nav.language')}</label>
      <select
        id="language"
        value={current}
        onChange={(e) => {
          const v = e.currentTarget.value;
          if (isLanguage(v)) void setLanguage(v);
        }}
      >
        {LANGUAGES.map((l) => (
          <option key={l} value={l} lang={l}>
            {LANGUAGE_NAMES[l]}
          </option>
        ))}
      </select>
    </span>
  );
}

function covers(href: string, path: string) {
  return href === '/' ? path === '/' : path === href || path.startsWith(`${href}/`);
}

/** The menu entry of the page: the longest one that covers the path (the week, not the calendar). */
function isCurrent(href: string, path: string) {
  return covers(href, path) && !NAV.some((n) => n.href.length > href.length && covers(n.href, path));
}

function Shell(props: { path: string; children: ComponentChildren }) {
  const signOut = async () => {
    try {
      await logout();
    } finally {
      navigate('/login');
    }
  };
  const notAnsweringSince = usePlayerLink();
  const offline = notAnsweringSince !== undefined;
  return (
    <>
      <div class={offline ? 'offline' : undefined} inert={offline}>
        <a class="skip-link" href="#main">
          {t('app.skip')}
        </a>
        <header class="top">
          <Link href="/" class="brand">
            <img src="/favicon.ico" alt="" width={24} height={24} />
            {t('app.name')}
          </Link>
          <nav aria-label={t('nav.label')}>
            <ul>
              {NAV.map((n) => (
                <li key={n.href}>
                  <Link href={n.href} aria-current={isCurrent(n.href, props.path) ? 'page' : undefined}>
                    {t(n.label)}
                  </Link>
                </li>
              ))}
              <li>
                <button type="button" class="link-button" onClick={signOut}>
                  {t('nav.logout')}
                </button>
              </li>
              <li>
                <LanguageChoice />
              </li>
            </ul>
          </nav>
        </header>
        <Banners alarmButton={props.path !== '/'} />
        <main id="main">{props.children}</main>
      </div>
      {notAnsweringSince && <NotAnswering since={notAnsweringSince} />}
    </>
  );
}

function NotFound() {
  return (
    <section class="page">
      <h1>{t('notFound.title')}</h1>
      <p>{rich('notFound.text', { link: (words) => <Link href="/">{words}</Link> })}</p>
    </section>
  );
}

/**
 * The player's default language, for browsers that ask for none the dashboard has; asked again
 * after the login, since a player with a password tells it only then.
 */
function usePlayerLanguage(outside: boolean) {
  useEffect(() => {
    // A plain request: a player with a password answers "No auth" before login, and that must
    // not send anyone to the login page.
    fetch('/api/get/info', { credentials: 'same-origin', cache: 'no-store' })
      .then((r) => (r.ok ? r.json() : undefined))
      .then((info: { language?: unknown } | undefined) => setPlayerLanguage(info?.language))
      .catch(() => undefined);
  }, [outside]);
}

export function App() {
  const { path, search } = useLocation();
  // Every text follows a change of language at once.
  useLanguage();
  usePlayerLanguage(path === '/login' || path === '/welcome');

  // While no password is set, a new browser sees the welcome page first.
  useEffect(() => {
    if (localStorage.getItem(WELCOME_SKIPPED)) return;
    // Asked directly: a "No auth" here only means a password is set, not that this page must
    // go to the login.
    fetch('/api/get/overview', { credentials: 'same-origin' })
      .then((r) => (r.ok ? (r.json() as Promise<Overview>) : undefined))
      .then((o) => {
        const here = location.pathname;
        if (o?.passwordMissing && here !== '/welcome' && here !== '/login') navigate('/welcome', true);
      })
      .catch(() => undefined);
  }, []);

  useEffect(() => {
    onNoAuth(() => {
      const here = location.pathname + location.search;
      if (location.pathname === '/login') return;
      if (location.pathname !== '/welcome') sessionStorage.setItem(AFTER_LOGIN, here);
      navigate('/login', true);
    });
  }, []);

  if (path === '/login' || path === '/welcome') {
    return (
      <>
        <header class="top top-plain">
          <LanguageChoice />
        </header>
        <main id="main" class="narrow">
          {path === '/login' ? <LoginPage /> : <WelcomePage isTray={search.get('isTray') === '1'} />}
        </main>
      </>
    );
  }

  let page;
  const editor = /^\/timetables\/([^/]+)$/.exec(path);
  const printable = /^\/timetables\/([^/]+)\/print$/.exec(path);
  if (path === '/') page = <HomePage />;
  else if (path === '/timetables') page = <TimetablesPage />;
  else if (editor) page = <TimetableEditor id={decodeURIComponent(editor[1])} />;
  else if (printable) page = <TimetablePrint id={decodeURIComponent(printable[1])} />;
  else if (path === '/calendar') page = <CalendarPage />;
  else if (path === '/calendar/week') page = <WeekPage />;
  else if (path === '/signals') page = <SignalsPage />;
  else if (path === '/settings') page = <SettingsPage />;
  else if (path === '/log') page = <LogPage />;
  else page = <NotFound />;
  return <Shell path={path}>{page}</Shell>;
}
