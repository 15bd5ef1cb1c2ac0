import { describe, expect, it } from 'vitest';
import { dateOfCell, isoWeek } from './dayView';
import { clockDrift, zoneText } from './playerClock';
import { checkUploadFile } from './upload';

describe('month cells and weeks', () => {
  it('dates the cells from the Monday of the first week, across year ends', () => {
    expect(dateOfCell({ year: 2026, month: 3 }, 0)).toBe('2026-02-23');
    expect(dateOfCell({ year: 2026, month: 3 }, 6)).toBe('2026-03-01');
    expect(dateOfCell({ year: 2027, month: 1 }, 0)).toBe('2026-12-28');
    expect(dateOfCell({ year: 2021, month: 2 }, 27)).toBe('2021-02-28');
  });

  it('numbers weeks as ISO 8601 does', () => {
    const cases: [string, number][] = [
      ['2026-01-04', 1],
      ['2026-01-11', 2],
      ['2026-12-31', 53],
      ['2027-01-04', 1],
      ['2021-01-03', 53],
    ];
    for (const [day, week] of cases) expect(isoWeek(day), day).toBe(week);
  });
});

describe("the player's clock", () => {
  const zone = { name: 'CET', utcOffsetSec: 3600 };
  // 2026-03-09 09:00:00 UTC is 10:00:00 in CET.
  const device = new Date(Date.UTC(2026, 2, 9, 9, 0, 0));

  it('says nothing within a minute, and how far and which way beyond it', () => {
    expect(clockDrift({ time: '10:00:45', timeZone: zone }, device)).toBeUndefined();
    expect(clockDrift({ time: '10:05:00', timeZone: zone }, device)).toBe('5 min (this device is behind)');
    expect(clockDrift({ time: '08:58:00', timeZone: zone }, device)).toBe('1 h 2 min (this device is ahead)');
    expect(clockDrift({ time: '23:59:30', timeZone: { name: 'CET', utcOffsetSec: 3600 } }, new Date(Date.UTC(2026, 2, 9, 23, 0, 10)))).toBeUndefined();
    expect(clockDrift({ time: '10:05:00' }, device)).toBeUndefined();
  });

  it('names the zone with its offset', () => {
    expect(zoneText(zone)).toBe('CET, UTC+01:00');
    expect(zoneText({ name: 'UTC', utcOffsetSec: 0 })).toBe('UTC+00:00');
    expect(zoneText({ name: '', utcOffsetSec: -16200 })).toBe('UTC-04:30');
  });
});

describe('upload size', () => {
  it('refuses a file over the limit before it is sent', () => {
    expect(checkUploadFile({ name: 'song.mp3', size: 5 * 1024 * 1024 }, 4 * 1024 * 1024)).toMatch(/up to 4 MB/);
    expect(checkUploadFile({ name: 'song.mp3', size: 1024 }, 4 * 1024 * 1024)).toBeUndefined();
    expect(checkUploadFile({ name: 'song.mp4', size: 1024 })).toMatch(/MP3 and WAV/);
  });
});
