// Days as the dashboard words them in English (Intl, British order): "9 Mar 2026", "16–20 Feb 2031".
const utc = (iso) => new Date(`${iso}T00:00:00Z`);
const format = new Intl.DateTimeFormat('en-GB', { day: 'numeric', month: 'short', year: 'numeric', timeZone: 'UTC' });

export const enDay = (iso) => format.format(utc(iso));
export const enRange = (first, last) => (first === last ? enDay(first) : format.formatRange(utc(first), utc(last)));
/** "9 Mar 2026, 11:45" for a player's "2026-03-09 11:45:00". */
export const enDateTime = (iso, time) => `${enDay(iso)}, ${time.slice(0, 5)}`;
