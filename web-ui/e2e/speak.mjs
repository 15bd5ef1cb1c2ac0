// Browser scenario: a typed announcement is previewed in the browser, spoken now after the
// lead-in signal, and programmed for later, with the real espeak-ng where it is installed.
import { enDateTime } from './dates.mjs';

export async function speakScenario({ page, base, api, check, waitFor, played, screenshotAll }) {
  await page.goto(`${base}/signals`);
  const voices = JSON.parse((await api(page, '/api/get/voices')).text);
  check(Array.isArray(voices) && voices.length > 0 && voices.every((v) => v.id && v.name), `voices: ${JSON.stringify(voices).slice(0, 200)}`);
  await page.getByLabel('Voice').locator('option').first().waitFor({ state: 'attached' });

  await page.getByRole('button', { name: 'Speak now' }).click();
  await page.getByText('Type the text to speak.').waitFor();

  await page.getByLabel('Text to speak').fill('Good morning. The library is closed today.');
  await page.getByRole('button', { name: 'Preview on this computer' }).click();
  await page.getByText('The preview plays on this computer only.').waitFor();
  const src = await page.locator('audio.speak-preview').getAttribute('src');
  check(src?.startsWith('blob:'), 'the preview is not offered to play');

  const before = played().length;
  await page.getByRole('button', { name: 'Speak now' }).click();
  await page.getByText('The announcement is playing.').waitFor();
  await waitFor(() => played().slice(before).includes('spoken-announcement.wav'), 'the spoken text was played');
  const order = played().slice(before).split('\n').filter(Boolean);
  check(order[0]?.includes('intercom') && order[1]?.includes('spoken-announcement.wav'), `played in this order: ${order.join(' | ')}`);

  const { date } = JSON.parse((await api(page, '/api/get/programmeInfo')).text);
  const nextYear = `${Number(date.slice(0, 4)) + 1}${date.slice(4)}`.replace('-02-29', '-02-28');
  await page.getByLabel('Text to speak').fill('Buses leave at noon.');
  await page.getByLabel('At a set time').check();
  await page.locator('#speak-date').fill(nextYear);
  await page.locator('#speak-time').fill('11:45');
  const problems = await screenshotAll(page, 'speak');
  await page.getByRole('button', { name: 'Programme it' }).click();
  await page.getByText(`The announcement is programmed for ${enDateTime(nextYear, '11:45:00')}.`).waitFor();
  await page.getByRole('rowheader', { name: 'Buses leave at noon.' }).waitFor();
  const programmes = JSON.parse((await api(page, '/api/get/programmeInfo')).text).programmes;
  const spoken = programmes.find((p) => p.programName === 'Buses leave at noon.');
  check(spoken && spoken.date === nextYear && spoken.time === '11:45' && spoken.lengthSec >= 1, `programmed as ${JSON.stringify(spoken)}`);
  check(problems.length === 0, problems.join('\n'));
}
