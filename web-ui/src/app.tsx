import type { ComponentChildren } from 'preact';
import { useEffect } from 'preact/hooks';
import { Banners } from './components/Banners';
import { Link } from './components/ui';
import { WELCOME_SKIPPED, logout, onNoAuth } from './lib/api';
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
import { WelcomePage } from './pages/Welcome';

const NAV = [
  { href: '/', label: 'Home' },
  { href: '/timetables', label: 'Timetables' },
  { href: '/calendar', label: 'Calendar' },
  { href: '/signals', label: 'Signals & songs' },
  { href: '/log', label: 'Log' },
  { href: '/settings', label: 'Settings' },
];

function isCurrent(href: string, path: string) {
  return href === '/' ? path === '/' : path === href || path.startsWith(`${href}/`);
}

function Shell(props: { path: string; children: ComponentChildren }) {
  const signOut = async () => {
    try {
      await logout();
    } finally {
      navigate('/login');
    }
  };
  return (
    <>
      <a class="skip-link" href="#main">
        Skip to content
      </a>
      <header class="top">
        <Link href="/" class="brand">
          <img src="/favicon.ico" alt="" width={24} height={24} />
          Veltrano Player
        </Link>
        <nav aria-label="Main">
          <ul>
            {NAV.map((n) => (
              <li key={n.href}>
                <Link href={n.href} aria-current={isCurrent(n.href, props.path) ? 'page' : undefined}>
                  {n.label}
                </Link>
              </li>
            ))}
            <li>
              <button type="button" class="link-button" onClick={signOut}>
                Log out
              </button>
            </li>
          </ul>
        </nav>
      </header>
      <Banners />
      <main id="main">{props.children}</main>
    </>
  );
}

function NotFound() {
  return (
    <section class="page">
      <h1>Page not found</h1>
      <p>
        There is no page at this address. <Link href="/">Go to the home page</Link>.
      </p>
    </section>
  );
}

export function App() {
  const { path, search } = useLocation();

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

  if (path === '/login') return <main id="main" class="narrow"><LoginPage /></main>;
  if (path === '/welcome') return <main id="main" class="narrow"><WelcomePage isTray={search.get('isTray') === '1'} /></main>;

  let page;
  const editor = /^\/timetables\/([^/]+)$/.exec(path);
  const printable = /^\/timetables\/([^/]+)\/print$/.exec(path);
  if (path === '/') page = <HomePage />;
  else if (path === '/timetables') page = <TimetablesPage />;
  else if (editor) page = <TimetableEditor id={decodeURIComponent(editor[1])} />;
  else if (printable) page = <TimetablePrint id={decodeURIComponent(printable[1])} />;
  else if (path === '/calendar') page = <CalendarPage />;
  else if (path === '/signals') page = <SignalsPage />;
  else if (path === '/settings') page = <SettingsPage />;
  else if (path === '/log') page = <LogPage />;
  else page = <NotFound />;
  return <Shell path={path}>{page}</Shell>;
}
