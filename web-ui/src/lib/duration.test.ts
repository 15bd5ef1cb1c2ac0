import { describe, expect, it } from 'vitest';
import { durationInWords } from './duration';

describe('durationInWords', () => {
  it('says a login wait as people say it', () => {
    const cases: [number, string][] = [
      [1, '1 second'],
      [29.2, '30 seconds'],
      [60, '1 minute'],
      [90, '1 minute and 30 seconds'],
      [900, '15 minutes'],
    ];
    for (const [seconds, words] of cases) expect(durationInWords(seconds), String(seconds)).toBe(words);
  });
});
