import { describe, expect, it } from 'vitest';
import { useLanguageForTest } from './index';
import { clockText, dayRange, longDate, monthTitle, sizeText, timeText, weekdayName } from './format';

describe('dates and times in the chosen language', () => {
  it('names days and months, Monday first, and keeps the 24-hour clock', async () => {
    await useLanguageForTest('de');
    expect(weekdayName(0)).toBe('Montag');
    expect(weekdayName(6, 'short')).toBe('So');
    expect(monthTitle(2026, 3)).toBe('März 2026');
    expect(longDate('2026-12-08')).toBe('Dienstag, 8. Dezember 2026');
    expect(clockText(13 * 3600 + 45 * 60)).toBe('13:45');
    await useLanguageForTest('hu');
    expect(weekdayName(0)).toBe('hétfő');
    expect(monthTitle(2026, 3)).toBe('2026. március');
    expect(longDate('2026-12-08')).toBe('2026. december 8., kedd');
    expect(sizeText(3 * 1024 * 1024)).toBe('3 MB');
    await useLanguageForTest('en');
    expect(weekdayName(0)).toBe('Monday');
    expect(timeText('8:05')).toBe('08:05');
    expect(timeText('08:05:30')).toBe('08:05:30');
    expect(timeText('08:05:00', true)).toBe('08:05:00');
    expect(clockText(-60)).toBe('23:59');
    expect(dayRange('2026-03-09', '2026-03-09')).toBe('9 Mar 2026');
    expect(dayRange('2026-03-09', '2026-03-13')).toMatch(/^9\s*–\s*13 Mar 2026$/);
  });
});
