import { describe, expect, it } from 'vitest';
import { voicesFor } from './voices';

const v = (...ids: string[]) => ids.map((id) => ({ id, name: id }));

describe('the proposed voice', () => {
  const installed = v('en-us', 'de', 'en-029', 'en-gb', 'hu');
  it('is one of the dashboard language, the player default first when it speaks it', () => {
    expect(voicesFor(installed, 'hu', 'hu-HU').proposed?.id).toBe('hu');
    expect(voicesFor(installed, 'de', 'de').proposed?.id).toBe('de');
    expect(voicesFor(installed, 'en', 'en-GB').proposed?.id).toBe('en-us');
    expect(voicesFor(v('de', 'en-029', 'en-gb', 'en-us'), 'en', 'en-GB').ordered.map((x) => x.id)).toEqual(['en-gb', 'en-029', 'en-us', 'de']);
  });
  it('is the player default when no voice speaks the language', () => {
    expect(voicesFor(v('fr', 'it'), 'hu', 'hu-HU').proposed?.id).toBe('fr');
    expect(voicesFor([], 'hu', 'hu-HU').proposed).toBeUndefined();
  });
});
