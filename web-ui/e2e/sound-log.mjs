// Browser scenario: what sounded is on the Log page and on Home, "Stop all sounds" silences
// the alarm too, and Home warns when the player's clock is not synchronised.
export async function soundLogScenario({ page, base, api, check, waitFor, played, screenshotAll }) {
  const json = async (path) => JSON.parse((await api(page, path)).text);
  const settings = await json('/api/get/settings');
  const signal = (await json('/api/get/signals')).find((s) => s.id !== settings.alarmSignalId);
  const before = played().length;
  await api(page, `/api/trigger/playSignal/${signal.id}`);
  await waitFor(() => played().length > before, `${signal.name} was played`);

  await page.goto(`${base}/log`);
  const row = page.locator('table.log-table tbody tr', { hasText: `Played by hand: ${signal.name}` }).last();
  await row.waitFor();
  check((await row.innerText()).includes('Started'), `the row says: ${await row.innerText()}`);
  const problems = await screenshotAll(page, 'log');
  await page.getByRole('button', { name: '◀ Earlier day' }).click();
  await page.getByText('No sound on this day.').waitFor();
  await page.getByRole('button', { name: 'Today' }).click();
  await row.waitFor();

  await page.goto(`${base}/`);
  await page.getByText(`Last sound: `, { exact: false }).filter({ hasText: `${signal.name}, started` }).waitFor();
  await api(page, '/api/trigger/alarmOn/0');
  await waitFor(async () => (await json('/api/get/status')).isPlaying, 'the alarm sounds');
  await page.locator('.clock-card').getByRole('button', { name: 'Stop all sounds' }).click();
  await waitFor(async () => !(await json('/api/get/status')).isPlaying, 'every sound stopped');
  check((await json('/api/get/overview')).alarmActive === false, 'the alarm is still on after "Stop all sounds"');

  // However this machine's clock is kept, an unsynchronised one must be pointed out.
  await page.route('**/api/get/status', async (route) => {
    try {
      const response = await route.fetch();
      const status = await response.json();
      await route.fulfill({ response, json: { ...status, clock: { synchronised: false, estimatedErrorMs: null } } });
    } catch {
      // A poll still on its way when the route is removed.
    }
  });
  await page.getByText("The player's clock is not synchronised").waitFor();
  problems.push(...(await screenshotAll(page, 'clock-warning')));
  await page.unroute('**/api/get/status');
  check(problems.length === 0, problems.join('\n'));
}
