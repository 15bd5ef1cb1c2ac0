import { parse, TYPE, type MessageFormatElement } from '@formatjs/icu-messageformat-parser';
import { describe, expect, it } from 'vitest';
import { chooseLanguage, LANGUAGES, rich, t, useLanguageForTest, type Language } from './index';
import { de } from './de';
import { en, type Catalogue } from './en';
import { hu } from './hu';
import { SERVER_MESSAGES, serverText } from './server';

/** The placeholders and tags of a message, each with its kind, sorted. */
function placeholders(message: string): string[] {
  const found = new Set<string>();
  const walk = (elements: MessageFormatElement[]) => {
    for (const e of elements) {
      if (e.type === TYPE.argument || e.type === TYPE.number || e.type === TYPE.date || e.type === TYPE.time) found.add(`{${e.value}}`);
      if (e.type === TYPE.plural || e.type === TYPE.select) {
        found.add(`{${e.value}, ${e.type === TYPE.plural ? 'plural' : 'select'}}`);
        for (const option of Object.values(e.options)) walk(option.value);
      }
      if (e.type === TYPE.tag) {
        found.add(`<${e.value}>`);
        walk(e.children);
      }
    }
  };
  walk(parse(message));
  return [...found].sort();
}

// A plural in English may be plain text elsewhere (Hungarian counts with the singular noun), and
// the other way round: the argument is what must be there.
const names = (message: string) => [...new Set(placeholders(message).map((p) => p.replace(/, (plural|select)\}$/, '}')))].sort();

const CATALOGUES: Record<Language, Catalogue> = { en, hu, de };

describe('the catalogues', () => {
  const keys = Object.keys(en);
  for (const lang of LANGUAGES) {
    const catalogue = CATALOGUES[lang] as Record<string, string>;
    it(`${lang} has every key English has, and no other`, () => {
      expect(keys.filter((k) => !(k in catalogue)), 'missing').toEqual([]);
      expect(Object.keys(catalogue).filter((k) => !(k in en)), 'not in English').toEqual([]);
    });
    it(`${lang} uses the same placeholders and tags as English in every message`, () => {
      const differ = keys.filter((k) => k in catalogue && names(catalogue[k]).join() !== names((en as Record<string, string>)[k]).join());
      expect(differ.map((k) => `${k}: ${names(catalogue[k]).join(' ')} / en ${names((en as Record<string, string>)[k]).join(' ')}`)).toEqual([]);
    });
    it(`${lang} has no empty text, and each text is a valid message`, () => {
      for (const k of keys) {
        expect(catalogue[k]?.trim(), k).toBeTruthy();
        expect(() => parse(catalogue[k]), k).not.toThrow();
      }
    });
  }
  it('knows a catalogue key for each player message it translates', () => {
    for (const key of Object.values(SERVER_MESSAGES)) expect(key in en, key).toBe(true);
  });
  it('finds the placeholders of a message', () => {
    expect(placeholders('{n, plural, one {# day} other {# days}} from {first} <b>{x}</b>')).toEqual(['<b>', '{first}', '{n, plural}', '{x}']);
  });
});

describe('formatting', () => {
  it('fills placeholders and chooses plural forms by language', async () => {
    await useLanguageForTest('en');
    expect(t('import.imported', { count: 1 })).toBe('1 event imported.');
    expect(t('import.imported', { count: 3 })).toBe('3 events imported.');
    await useLanguageForTest('de');
    expect(t('import.imported', { count: 1 })).toBe('1 Termin übernommen.');
    expect(t('import.imported', { count: 3 })).toBe('3 Termine übernommen.');
    await useLanguageForTest('hu');
    expect(t('import.imported', { count: 3 })).toBe('3 esemény importálva.');
    await useLanguageForTest('en');
  });
  it('turns tags into what the caller makes of them', async () => {
    await useLanguageForTest('en');
    expect(rich('notFound.text', { link: (chunks) => `[${chunks.join('')}]` })).toBe('There is no page at this address. [Go to the home page].');
  });
  it('translates the player messages it knows, and leaves others as they are', async () => {
    await useLanguageForTest('de');
    expect(serverText('File is already uploaded')).toBe('Diese Datei ist schon hochgeladen.');
    expect(serverText('Unknown signal: x')).toBe('Unknown signal: x');
    await useLanguageForTest('en');
    expect(serverText('File is already uploaded')).toBe('File is already uploaded');
  });
});

describe('choosing the language', () => {
  it('takes the choice made here, then the browser, then the player, then English', () => {
    expect(chooseLanguage('de', ['hu-HU'], 'en')).toBe('de');
    expect(chooseLanguage(null, ['fr-FR', 'hu-HU', 'de'], 'de')).toBe('hu');
    expect(chooseLanguage(null, ['de-AT'], 'hu')).toBe('de');
    expect(chooseLanguage('xx', ['fr'], 'hu')).toBe('hu');
    expect(chooseLanguage(null, ['fr'], null)).toBe('en');
  });
});
