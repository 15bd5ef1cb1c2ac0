// Browser scenarios: two screens agree on the alarm within a second, and every page greys out
// and says since when while the player does not answer, until it answers again.
const AGREE_MS = 1000;

async function openHome(context, base) {
  const page = await context.newPage();
  page.on('dialog', (d) => void d.accept());
  await page.goto(`${base}/`);
  await page.getByRole('button', { name: 'Start the alarm', exact: true }).waitFor();
  return page;
}

/** Milliseconds from the answer to the click on one page until the other shows the text. */
async function delayBetween(from, to, buttonName, answerPath, shown) {
  const answered = from.waitForResponse((r) => r.url().includes(answerPath));
  await from.getByRole('button', { name: buttonName, exact: true }).click();
  await answered;
  const start = Date.now();
  await to.getByRole('button', { name: shown, exact: true }).waitFor({ timeout: 5000 });
  return Date.now() - start;
}

export async function liveScenarios({ test, context, base, check, waitFor, screenshotAll, killPlayer, restartPlayer }) {
  await test('two screens: the alarm started or stopped on one shows on the other within a second', async () => {
    const a = await openHome(context, base);
    const b = await openHome(context, base);
    try {
      // Both have polled once: anything later on b comes from its stream (b polls every 5 s at best).
      await b.waitForTimeout(300);
      const started = await delayBetween(a, b, 'Start the alarm', '/api/trigger/alarmOn/', 'Stop the alarm');
      await b.getByText('The alarm is sounding.').waitFor({ timeout: 1000 });
      // Pressed on the screen that started it: a press just after another screen turned the
      // button round counts for what it showed before.
      const stopped = await delayBetween(a, b, 'Stop the alarm', '/api/trigger/alarmOff/', 'Start the alarm');
      console.log(`     the other screen followed in ${started} ms (alarm on) and ${stopped} ms (alarm off)`);
      check(started < AGREE_MS && stopped < AGREE_MS, `the other screen took ${started} ms and ${stopped} ms`);
    } finally {
      await a.close();
      await b.close();
    }
  });

  await test('the player stops: every page greys out and says since when, and carries on when it is back', async () => {
    const home = await openHome(context, base);
    const log = await context.newPage();
    await log.goto(`${base}/log`);
    await log.getByRole('heading', { name: 'Log' }).waitFor();
    try {
      killPlayer();
      const killed = Date.now();
      const overlay = home.getByRole('alertdialog');
      await overlay.waitFor({ timeout: 9000 });
      const after = Date.now() - killed;
      console.log(`     the overlay came ${after} ms after the player was killed`);
      check(after >= 4000 && after < 7500, `the overlay came after ${after} ms`);
      check(/^The player has not answered since \d\d:\d\d:\d\d\./.test(await overlay.locator('.not-answering-title').innerText()), 'the overlay does not say since when');
      await log.getByRole('alertdialog').waitFor({ timeout: 3000 });
      for (const page of [home, log]) {
        check(await page.evaluate(() => document.querySelector('.offline')?.inert === true), 'the page under the overlay still takes input');
      }
      let clicked = true;
      await home.locator('button.alarm').click({ timeout: 1000 }).catch(() => (clicked = false));
      check(!clicked, 'the alarm button could be clicked while the player does not answer');
      const problems = await screenshotAll(home, 'not-answering');
      check(problems.length === 0, problems.join('\n'));

      await restartPlayer();
      await waitFor(async () => !(await overlay.count()) && !(await log.getByRole('alertdialog').count()), 'the overlay goes when the player answers', 10000);
      await home.getByRole('button', { name: 'Start the alarm', exact: true }).waitFor();
    } finally {
      await home.close();
      await log.close();
    }
  });
}
