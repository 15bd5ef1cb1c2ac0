// The dashboard's languages: every text comes from a catalogue (en.ts, hu.ts, de.ts), formatted
// as an ICU message by intl-messageformat (plural forms, placeholders, rich text with links).
//
// Adding a text: put its key and English text in en.ts, the same key in hu.ts and de.ts (the
// compiler and catalogues.test.ts refuse a catalogue that lacks it), and call t('the.key').
import { IntlMessageFormat } from 'intl-messageformat';
import type { ComponentChildren } from 'preact';
import { useEffect, useState } from 'preact/hooks';
import { en, type Catalogue, type MessageKey } from './en';

export type { MessageKey } from './en';

export const LANGUAGES = ['en', 'hu', 'de'] as const;
export type Language = (typeof LANGUAGES)[number];

// English is built in; the others load when first shown, so each browser fetches one language.
const loaded: Partial<Record<Language, Catalogue>> = { en };
const loaders: Record<Language, () => Promise<Catalogue>> = {
  en: async () => en,
  hu: () => import('./hu').then((m) => m.hu),
  de: () => import('./de').then((m) => m.de),
};

/** Fetches a language's catalogue, once. */
export async function loadLanguage(language: Language): Promise<void> {
  if (!loaded[language]) loaded[language] = await loaders[language]();
}

/** Each language by its own name, as the menu offers it. */
export const LANGUAGE_NAMES: Record<Language, string> = { en: 'English', hu: 'Magyar', de: 'Deutsch' };

/** The locale Intl formats with: British English for day-month order and 24-hour times. */
export const INTL_LOCALE: Record<Language, string> = { en: 'en-GB', hu: 'hu-HU', de: 'de' };

/** localStorage: the language chosen in this browser's menu. */
export const LANGUAGE_KEY = 'veltrano.language';
/** localStorage: the player's default (--language), remembered for the login page. */
export const PLAYER_LANGUAGE_KEY = 'veltrano.playerLanguage';

export function isLanguage(value: unknown): value is Language {
  return typeof value === 'string' && (LANGUAGES as readonly string[]).includes(value);
}

/**
 * The language to show: the one chosen in this browser, else the first of the browser's languages
 * that the dashboard has, else the player's default, else English.
 */
export function chooseLanguage(chosen: string | null | undefined, browser: readonly string[], player: string | null | undefined): Language {
  if (isLanguage(chosen)) return chosen;
  for (const tag of browser) {
    const primary = tag.toLowerCase().split('-')[0];
    if (isLanguage(primary)) return primary;
  }
  return isLanguage(player) ? player : 'en';
}

const storage = (): Storage | undefined => {
  try {
    return typeof localStorage === 'undefined' ? undefined : localStorage;
  } catch {
    return undefined;
  }
};

const browserLanguages = (): readonly string[] =>
  typeof navigator === 'undefined' ? [] : navigator.languages?.length ? navigator.languages : navigator.language ? [navigator.language] : [];

let current: Language = chooseLanguage(storage()?.getItem(LANGUAGE_KEY), browserLanguages(), storage()?.getItem(PLAYER_LANGUAGE_KEY));
const listeners = new Set<() => void>();
if (typeof document !== 'undefined') document.documentElement.lang = current;
// Settles when the first language's texts are there (English if they cannot be had).
const firstLanguage = loadLanguage(current).catch(() => {
  current = 'en';
  if (typeof document !== 'undefined') document.documentElement.lang = current;
});

/** Resolves when the texts of the language shown first are loaded: render after it. */
export const languageReady = (): Promise<void> => firstLanguage;

function apply(language: Language): void {
  current = language;
  if (typeof document !== 'undefined') document.documentElement.lang = language;
  for (const l of listeners) l();
}

export const language = (): Language => current;
export const intlLocale = (): string => INTL_LOCALE[current];

/** Chosen in the menu: kept in this browser; shown as soon as its texts are loaded. */
export async function setLanguage(language: Language): Promise<void> {
  storage()?.setItem(LANGUAGE_KEY, language);
  await loadLanguage(language);
  apply(language);
}

/** The player's default language (the info answer's `language`): used where nothing else decides. */
export function setPlayerLanguage(player: unknown): void {
  if (!isLanguage(player)) return;
  storage()?.setItem(PLAYER_LANGUAGE_KEY, player);
  const next = chooseLanguage(storage()?.getItem(LANGUAGE_KEY), browserLanguages(), player);
  if (next !== current) void loadLanguage(next).then(() => apply(next), () => undefined);
}

/** For tests: show this language without keeping the choice. */
export async function useLanguageForTest(language: Language): Promise<void> {
  await loadLanguage(language);
  apply(language);
}

/** The current language; the calling component renders again when it changes. */
export function useLanguage(): Language {
  const [, setTick] = useState(0);
  useEffect(() => {
    const l = () => setTick((t) => t + 1);
    listeners.add(l);
    return () => {
      listeners.delete(l);
    };
  }, []);
  return current;
}

export type Values = Record<string, string | number>;

const formats = new Map<string, IntlMessageFormat>();

function formatter(key: MessageKey, lang: Language): IntlMessageFormat {
  const id = `${lang}\u0000${key}`;
  let f = formats.get(id);
  if (!f) {
    const text = loaded[lang]?.[key] ?? en[key] ?? key;
    f = new IntlMessageFormat(text, INTL_LOCALE[lang]);
    formats.set(id, f);
  }
  return f;
}

/** The text of a key in the current language, its placeholders filled. */
export function t(key: MessageKey, values?: Values): string {
  const out = formatter(key, current).format(values);
  return Array.isArray(out) ? out.join('') : String(out);
}

/** A text with markup: each <tag>…</tag> of the message becomes what values.tag makes of its words. */
export function rich(key: MessageKey, values: Record<string, string | number | ((chunks: ComponentChildren[]) => ComponentChildren)>): ComponentChildren {
  // The tag functions get the chunks as an array and may answer elements.
  return formatter(key, current).format(values as never) as ComponentChildren;
}
