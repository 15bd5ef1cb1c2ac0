// Browser checks of the player's defences against the real binary: the dashboard works under
// its security headers, a changed password logs every other browser out, after repeated wrong
// passwords the login page says how long to wait, and changes that cannot be saved show.
import { mkdirSync, rmSync } from 'node:fs';
import { request } from 'node:http';
import { join } from 'node:path';

const PAGES = [
  ['/', 'Home'],
  ['/timetables', 'Timetables'],
  ['/calendar', 'Calendar'],
  ['/signals', 'Signals & songs'],
  ['/settings', 'Settings'],
];

/** A page that records every Content Security Policy violation, whatever document it shows. */
async function watchedPage(context, violations) {
  const page = await context.newPage();
  page.setDefaultTimeout(10000);
  await page.exposeFunction('reportViolation', (text) => violations.push(text));
  await page.addInitScript(() => {
    document.addEventListener('securitypolicyviolation', (e) => window.reportViolation(`${e.violatedDirective} ${e.blockedURI}`));
  });
  page.on('console', (m) => {
    if (/Content.Security.Policy/i.test(m.text())) violations.push(m.text());
  });
  return page;
}

async function logIn(page, base, password) {
  await page.goto(`${base}/login`);
  await page.getByLabel('Password').fill(password);
  await page.getByRole('button', { name: 'Log in' }).click();
  await page.waitForURL(`${base}/`);
}

async function changePassword(page, base, password) {
  await page.goto(`${base}/settings`);
  await page.getByLabel('New password', { exact: true }).fill(password);
  await page.getByLabel('Repeat the new password').fill(password);
  await page.getByRole('button', { name: 'Change password' }).click();
  await page.getByText('The password is changed.').waitFor();
}

/**
 * Sends the browser's request to the player from another loopback address, as if from
 * another computer, and hands the player's real answer back to the browser.
 */
function fromAddress(localAddress) {
  return (route) =>
    new Promise((resolve, reject) => {
      const req = route.request();
      const url = new URL(req.url());
      const body = req.postDataBuffer() ?? Buffer.alloc(0);
      const headers = { ...req.headers(), 'content-length': String(body.length) };
      const out = request({ host: url.hostname, port: url.port, path: url.pathname + url.search, method: req.method(), headers, localAddress }, (res) => {
        const chunks = [];
        res.on('data', (c) => chunks.push(c));
        res.on('end', () => {
          const answer = Object.fromEntries(Object.entries(res.headers).map(([k, v]) => [k, Array.isArray(v) ? v.join('\n') : v]));
          route.fulfill({ status: res.statusCode, headers: answer, body: Buffer.concat(chunks) }).then(resolve, reject);
        });
      });
      out.on('error', reject);
      out.end(body);
    });
}

export async function securityScenarios({ browser, base, test, check, api, password, dataDir }) {
  const violations = [];
  const context = await browser.newContext();
  const page = await watchedPage(context, violations);
  const other = await browser.newContext();
  try {
    await test('the dashboard works under its security headers', async () => {
      const answer = await page.goto(`${base}/login`);
      const headers = answer.headers();
      const policy = headers['content-security-policy'] ?? '';
      check(policy.includes("script-src 'self'") && policy.includes("style-src 'self'") && policy.includes("frame-ancestors 'none'"), `Content-Security-Policy: ${policy}`);
      check(headers['referrer-policy'] === 'same-origin' && headers['x-content-type-options'] === 'nosniff', `headers: ${JSON.stringify(headers)}`);
      await logIn(page, base, password);
      for (const [path, heading] of PAGES) {
        await page.goto(`${base}${path}`);
        await page.getByRole('heading', { name: heading, exact: true }).waitFor();
      }
      check(violations.length === 0, `blocked by the policy: ${violations.join(' | ')}`);
    });

    await test('a changed password logs every other browser out, not this one', async () => {
      const otherPage = await other.newPage();
      await logIn(otherPage, base, password);
      await changePassword(page, base, `${password}-new`);
      check((await api(page, '/db')).status === 200, 'the browser that changed the password was logged out');
      const refused = await api(otherPage, '/db');
      check(refused.status === 400 && refused.text === 'No auth', `the other browser still has access: ${refused.status}`);
      await changePassword(page, base, password);
    });

    await test('after five wrong passwords the login page says how long to wait', async () => {
      const stranger = await browser.newContext();
      try {
        const p = await stranger.newPage();
        p.setDefaultTimeout(10000);
        await p.route('**/auth/login', fromAddress('127.0.0.2'));
        await p.goto(`${base}/login`);
        for (let i = 0; i < 5; i++) {
          await p.getByLabel('Password').fill(`guess-${i}`);
          const answered = p.waitForResponse((r) => r.url().endsWith('/auth/login'));
          await p.getByRole('button', { name: 'Log in' }).click();
          check((await answered).status() === 400, `guess ${i} was not refused`);
          await p.getByText('Login failed').waitFor();
        }
        await p.getByLabel('Password').fill(password);
        await p.getByRole('button', { name: 'Log in' }).click();
        await p.getByText(/Try again in (30|29) seconds\./).waitFor();
        check(await p.getByRole('button', { name: 'Log in' }).isDisabled(), 'the button can be pressed during the wait');
        check(p.url() === `${base}/login`, 'the right password was let in during the wait');
        const neighbour = await browser.newContext();
        await logIn(await neighbour.newPage(), base, password);
        await neighbour.close();
      } finally {
        await stranger.close();
      }
    });

    if (dataDir) {
      await test('a database that cannot be saved shows on every page until saving works again', async () => {
        // A directory where the save's temporary file must go makes every save fail.
        const blocker = join(dataDir, '_db.json.tmp');
        const banner = page.getByText('Changes are not being saved:').first();
        mkdirSync(blocker);
        try {
          await page.goto(`${base}/settings`);
          await page.getByLabel('Pause between alarm repetitions (seconds)').fill('1.5');
          await page.getByRole('button', { name: 'Save', exact: true }).click();
          await page.getByText('Saved.').waitFor();
          await banner.waitFor();
          await page.goto(`${base}/calendar`);
          await banner.waitFor();
        } finally {
          rmSync(blocker, { recursive: true, force: true });
        }
        await banner.waitFor({ state: 'detached' });
      });
    }
  } finally {
    await other.close();
    await context.close();
  }
}
