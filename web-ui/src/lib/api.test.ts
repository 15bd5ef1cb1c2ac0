import { afterEach, describe, expect, it, vi } from 'vitest';
import { getTarget, login, onNoAuth, trigger, updateSettings } from './api';
import { t } from '../i18n';

type Answer = { status: number; body: string; type?: ResponseType; contentType?: string };

function answer(a: Answer) {
  const calls: { url: string; init?: RequestInit }[] = [];
  vi.stubGlobal('fetch', async (url: string, init?: RequestInit) => {
    calls.push({ url, init });
    return {
      ok: a.status >= 200 && a.status < 300,
      status: a.status,
      statusText: '',
      type: a.type ?? 'basic',
      headers: new Headers({ 'content-type': a.contentType ?? 'text/plain' }),
      text: async () => a.body,
    } as Response;
  });
  return calls;
}

afterEach(() => {
  vi.unstubAllGlobals();
  onNoAuth(() => {});
});

describe('api', () => {
  it('sends the user to the login page on "No auth" and says why', async () => {
    answer({ status: 400, body: 'No auth' });
    const handler = vi.fn();
    onNoAuth(handler);
    await expect(getTarget('overview')).rejects.toThrow(t('api.notLoggedIn'));
    expect(handler).toHaveBeenCalledOnce();
  });

  it('shows other refusals as the player words them, without a login redirect', async () => {
    answer({ status: 400, body: 'Unknown setting: foo' });
    const handler = vi.fn();
    onNoAuth(handler);
    await expect(updateSettings({ foo: 1 })).rejects.toThrow(/^Unknown setting: foo$/);
    expect(handler).not.toHaveBeenCalled();
  });

  it('tells a wrong password from a failure of the player', async () => {
    const calls = answer({ status: 0, body: '', type: 'opaqueredirect' });
    expect(await login('pw', true)).toBe(true);
    expect(JSON.parse(String(calls[0].init?.body))).toEqual({ userPassword: 'pw', remember: true });
    answer({ status: 400, body: 'Login failed' });
    expect(await login('pw', false)).toBe(false);
    answer({ status: 500, body: '' });
    await expect(login('pw', false)).rejects.toThrow(/HTTP 500/);
  });

  it('accepts a trigger only when the player answers "ok", and encodes ids and arguments', async () => {
    const calls = answer({ status: 200, body: 'ok' });
    await trigger('addSingleEvent', 0, { timetableId: 'a b', startDate: '2026-03-09' });
    expect(calls[0].url).toBe('/api/trigger/addSingleEvent/0?timetableId=a+b&startDate=2026-03-09');
    answer({ status: 200, body: '{"unexpected": true}' });
    await expect(trigger('playSignal', 'ID_ping')).rejects.toThrow(/instead of "ok"/);
  });

  it('explains an unreachable player', async () => {
    vi.stubGlobal('fetch', async () => {
      throw new TypeError('Failed to fetch');
    });
    await expect(getTarget('status')).rejects.toThrow(/does not answer/);
  });
});
