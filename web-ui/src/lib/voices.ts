// Which voice the spoken-announcement form proposes: one of the dashboard's language.
import type { Voice } from './api';

/**
 * How well a voice speaks the language: 3 the dashboard's own variant ("en-gb" for British
 * English), 2 the language itself ("hu"), 1 another variant ("en-us"), 0 another language.
 */
function fit(voice: Voice, language: string, locale: string): number {
  const id = voice.id.toLowerCase();
  if (id === locale.toLowerCase()) return 3;
  if (id === language) return 2;
  return id.startsWith(`${language}-`) ? 1 : 0;
}

/**
 * The voices with those of the language first, and the one to propose: the player's default
 * voice (the first of the list) when it speaks the language, else the best fitting one, else the
 * player's default.
 */
export function voicesFor(voices: Voice[], language: string, locale: string): { ordered: Voice[]; proposed?: Voice } {
  const ranked = voices.map((v, index) => ({ v, index, fit: fit(v, language, locale) }));
  const ordered = ranked
    .sort((a, b) => Number(b.fit > 0) - Number(a.fit > 0) || Number(b.index === 0) - Number(a.index === 0) || b.fit - a.fit || a.index - b.index)
    .map((x) => x.v);
  return { ordered, proposed: ordered[0] };
}
