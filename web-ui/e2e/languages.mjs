// Browser scenario: every page in English, Hungarian and German, at a phone's and a laptop's size.
// No page scrolls sideways (German's long words), the menu has no English word left in Hungarian
// or German, <html lang> follows the language, and the choice in the menu is kept in the browser.
// Screenshots: lang-<language>-<page>-<width>.png in the output folder.
import { join } from 'node:path';

const SIZES = [
  { width: 375, height: 812 },
  { width: 1366, height: 850 },
];
const LANGUAGES = [
  { lang: 'en', locale: 'en-GB' },
  { lang: 'hu', locale: 'hu-HU' },
  { lang: 'de', locale: 'de-AT' },
];
// Every word of the English menu (and its hidden names) that must not stay in another language.
const ENGLISH_MENU = ['home', 'timetables', 'calendar', 'signals', 'songs', 'log', 'out', 'settings', 'week', 'language', 'main', 'skip', 'content'];

export async function languageScenario({ browser, context, base, check, outDir, factoryId, playerLanguage }) {
  const pages = [
    ['home', '/'],
    ['timetables', '/timetables'],
    ['timetable', `/timetables/${factoryId}`],
    ['print', `/timetables/${factoryId}/print`],
    ['calendar', '/calendar'],
    ['week', '/calendar/week'],
    ['signals', '/signals'],
    ['log', '/log'],
    ['settings', '/settings'],
    ['welcome', '/welcome'],
    ['login', '/login'],
  ];
  const storageState = await context.storageState();
  const problems = [];
  const englishTitles = {};

  for (const { lang, locale } of LANGUAGES) {
    const loggedIn = await browser.newContext({ storageState, locale });
    const loggedOut = await browser.newContext({ locale });
    try {
      for (const [name, path] of pages) {
        const page = await (name === 'login' ? loggedOut : loggedIn).newPage();
        page.setDefaultTimeout(10000);
        page.on('dialog', (d) => void d.dismiss());
        await page.goto(`${base}${path}`);
        const h1 = page.locator('h1');
        await h1.waitFor();
        await page.waitForTimeout(300);
        const htmlLang = await page.evaluate(() => document.documentElement.lang);
        if (htmlLang !== lang) problems.push(`${lang} ${name}: <html lang="${htmlLang}">`);
        const title = (await h1.textContent())?.trim();
        if (lang === 'en') englishTitles[name] = title;
        else if (title === englishTitles[name]) problems.push(`${lang} ${name}: the heading is still English ("${title}")`);
        if (name !== 'login' && name !== 'welcome' && lang !== 'en') {
          const menu = await page.evaluate(() => {
            const nav = document.querySelector('header.top nav');
            const select = nav?.querySelector('select');
            const texts = [...(nav?.querySelectorAll('a, button, label') ?? [])].map((e) => e.textContent ?? '');
            return [...texts, nav?.getAttribute('aria-label') ?? '', document.querySelector('.skip-link')?.textContent ?? '', select?.selectedOptions[0]?.textContent ?? ''].join(' ');
          });
          const left = menu
            .toLowerCase()
            .split(/[^\p{L}]+/u)
            .filter((w) => ENGLISH_MENU.includes(w));
          if (left.length) problems.push(`${lang} ${name}: English in the menu: ${left.join(', ')} (menu: ${menu})`);
        }
        for (const size of SIZES) {
          await page.setViewportSize(size);
          await page.waitForTimeout(150);
          const wide = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
          if (wide > 1) {
            const culprit = await page.evaluate(() =>
              [...document.querySelectorAll('body *')]
                .filter((e) => e.getBoundingClientRect().right > window.innerWidth + 1)
                .slice(0, 3)
                .map((e) => `${e.tagName.toLowerCase()}.${e.className}: ${(e.textContent ?? '').trim().slice(0, 40)}`)
                .join(' | '),
            );
            problems.push(`${lang} ${name} scrolls sideways by ${wide} px at ${size.width} px: ${culprit}`);
          }
          await page.screenshot({ path: join(outDir, `lang-${lang}-${name}-${size.width}.png`), fullPage: true });
        }
        await page.close();
      }
    } finally {
      await loggedIn.close();
      await loggedOut.close();
    }
  }

  // Weeks start on Monday, and the month's name and weekdays are the language's.
  const month = async (locale) => {
    const c = await browser.newContext({ storageState, locale });
    const p = await c.newPage();
    await p.goto(`${base}/calendar`);
    await p.locator('table.month th').first().waitFor();
    const heads = await p.locator('table.month th').allTextContents();
    const title = await p.locator('#month-title').textContent();
    await c.close();
    return { heads, title };
  };
  const de = await month('de-DE');
  if (de.heads.join() !== 'Mo,Di,Mi,Do,Fr,Sa,So') problems.push(`German weekdays: ${de.heads.join()}`);
  const hu = await month('hu-HU');
  if (hu.heads[0] !== 'H' || !/^\d{4}\. \p{Ll}+$/u.test(hu.title ?? '')) problems.push(`Hungarian month: ${hu.title} ${hu.heads.join()}`);

  // The spoken-announcement form proposes a voice of the dashboard's language.
  for (const [locale, lang] of [['hu-HU', 'hu'], ['de-DE', 'de']]) {
    const c = await browser.newContext({ storageState, locale });
    const p = await c.newPage();
    await p.goto(`${base}/signals`);
    const voices = await p.evaluate(async () => (await fetch('/api/get/voices')).json());
    if (Array.isArray(voices) && voices.some((v) => v.id === lang)) {
      await p.locator('#speak-voice option').first().waitFor({ state: 'attached' });
      const proposed = await p.locator('#speak-voice').inputValue();
      if (proposed !== lang) problems.push(`${lang}: the voice proposed is "${proposed}"`);
    }
    await c.close();
  }

  // The menu's choice is kept in this browser and wins over the browser's languages.
  const c = await browser.newContext({ storageState, locale: 'en-US' });
  const p = await c.newPage();
  await p.goto(`${base}/`);
  await p.getByRole('heading', { name: 'Home' }).waitFor();
  await p.getByLabel('Language').selectOption('de');
  await p.getByRole('heading', { name: 'Übersicht' }).waitFor();
  check((await p.evaluate(() => document.documentElement.lang)) === 'de', 'html lang does not follow the menu');
  await p.reload();
  await p.getByRole('heading', { name: 'Übersicht' }).waitFor();
  check((await p.evaluate(() => localStorage.getItem('veltrano.language'))) === 'de', 'the choice is not kept');
  await p.getByLabel('Sprache').selectOption('hu');
  await p.getByRole('link', { name: 'Órarendek' }).click();
  await p.getByRole('heading', { name: 'Órarendek' }).waitFor();
  await c.close();

  // A browser that asks for none of the three gets the player's default (--language).
  const none = await browser.newContext({ storageState, locale: 'fr-FR' });
  const q = await none.newPage();
  await q.goto(`${base}/`);
  await q.locator('h1').waitFor();
  await q.waitForFunction((lang) => document.documentElement.lang === lang, playerLanguage, { timeout: 5000 }).catch(() => undefined);
  const shown = await q.evaluate(() => document.documentElement.lang);
  if (shown !== playerLanguage) problems.push(`a French browser got "${shown}", not the player's default "${playerLanguage}"`);
  await none.close();

  check(problems.length === 0, problems.join('\n'));
}
