// A page of another site, opened by a teacher on the school network, tries to turn the
// teacher's browser against the player: it rings the alarm, sets its own password with a
// text/plain form, guesses the password until the real one is locked out, and reaches the
// player under a rebinding name of its own. Run while no password is set (the factory state),
// when such a page could do the most.
import { createServer } from 'node:http';

/** The attacker's site on another port: its page runs every attack it is given at once. */
function attackerSite(player) {
  const page = `<!doctype html><html><body>
<form id="pw" method="POST" action="${player}/auth/chpasswd" enctype="text/plain" target="sink">
  <input name='"attacker-password' value='"'>
</form>
<iframe name="sink"></iframe>
<script>
  fetch('${player}/api/trigger/alarmOn/x', { mode: 'no-cors', credentials: 'include' }).catch(() => {});
  for (let i = 0; i < 8; i++)
    fetch('${player}/auth/login', { method: 'POST', mode: 'no-cors', credentials: 'include',
      headers: { 'Content-Type': 'text/plain' }, body: '{"userPassword": "guess", "remember": true}' }).catch(() => {});
  document.getElementById('pw').submit();
  document.title = 'attacked';
</script></body></html>`;
  return createServer((req, res) => {
    res.writeHead(200, { 'Content-Type': 'text/html' });
    res.end(page);
  });
}

export async function crossSiteScenario({ browser, base, test, check, waitFor, rebindHost }) {
  const site = attackerSite(base);
  await new Promise((r) => site.listen(0, '127.0.0.1', r));
  const context = await browser.newContext();
  const teacher = await context.newPage();
  try {
    await test('a page of another site cannot ring the alarm, set a password or lock out the staff', async () => {
      await teacher.goto(`http://127.0.0.1:${site.address().port}/`);
      await waitFor(async () => (await teacher.title()) === 'attacked', 'the attacker page ran');
      // Let every request of the page reach the player before looking.
      await teacher.waitForLoadState('networkidle');
      const status = await (await fetch(`${base}/api/get/overview`)).json();
      check(status.alarmActive === false, 'the alarm rang from another site');
      check(status.passwordMissing === true, 'another site set the password');
      const login = await fetch(`${base}/auth/login`, { method: 'POST', body: '{"userPassword": "x", "remember": true}', redirect: 'manual' });
      check(login.status !== 429, 'the attacker\'s guesses locked this computer out');
    });

    await test('a page under a rebinding name of its own gets no answer from the player', async () => {
      const port = new URL(base).port;
      const answer = await teacher.goto(`http://${rebindHost}:${port}/api/get/overview`);
      check(answer.status() === 421, `the player answered ${answer.status()} to ${rebindHost}`);
      check((await answer.text()) === 'Unknown host name', 'refusal text');
    });
  } finally {
    await context.close();
    await new Promise((r) => site.close(r));
  }
}
