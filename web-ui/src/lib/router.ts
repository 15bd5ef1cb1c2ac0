// Client-side routing by path: the player serves index.html for every path without a dot.
import { useEffect, useState } from 'preact/hooks';

type Listener = () => void;
const listeners = new Set<Listener>();

function notify() {
  for (const l of listeners) l();
}

window.addEventListener('popstate', notify);

let leaveGuard: (() => boolean) | undefined;

/** While set, asked before the dashboard leaves the page; false keeps the user where they are. */
export function setLeaveGuard(guard: (() => boolean) | undefined): void {
  leaveGuard = guard;
}

export function navigate(to: string, replace = false): void {
  if (to === location.pathname + location.search) return;
  if (leaveGuard && !leaveGuard()) return;
  leaveGuard = undefined;
  if (replace) history.replaceState(null, '', to);
  else history.pushState(null, '', to);
  window.scrollTo(0, 0);
  notify();
}

/** The current location, re-rendering the caller when it changes. */
export function useLocation(): { path: string; search: URLSearchParams } {
  const [, setTick] = useState(0);
  useEffect(() => {
    const l = () => setTick((t) => t + 1);
    listeners.add(l);
    return () => {
      listeners.delete(l);
    };
  }, []);
  return { path: location.pathname.replace(/\/+$/, '') || '/', search: new URLSearchParams(location.search) };
}

/** Follows a same-origin link without reloading the page. */
export function followLink(e: MouseEvent): void {
  const a = e.currentTarget as HTMLAnchorElement;
  if (e.defaultPrevented || e.button !== 0 || e.metaKey || e.ctrlKey || e.shiftKey || e.altKey || a.target) return;
  e.preventDefault();
  navigate(a.getAttribute('href') ?? '/');
}

/** Session storage key: where to return after logging in. */
export const AFTER_LOGIN = 'veltrano.afterLogin';
