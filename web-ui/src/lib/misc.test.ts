import { describe, expect, it } from 'vitest';
import { errorText } from './api';
import { bitsFromDays, daysFromBits, describeDays } from './calendar';
import { checkNewPassword } from './password';
import { checkUploadFile, extensionOf } from './upload';

describe('weekday bits', () => {
  it('matches the player: bit n is weekday n, Monday first', () => {
    expect(bitsFromDays([0, 1, 2, 3, 4])).toBe(31);
    expect(bitsFromDays([6])).toBe(64);
    expect(daysFromBits(31)).toEqual([0, 1, 2, 3, 4]);
    expect(daysFromBits(bitsFromDays([5, 2]))).toEqual([2, 5]);
    expect(describeDays(0)).toBe('no day');
    expect(describeDays(65)).toBe('Mon, Sun');
  });
});

describe('uploads', () => {
  it('reads extensions as the player does', () => {
    const cases: [string, string][] = [
      ['Bell.MP3', 'mp3'],
      ['a.b.wav', 'wav'],
      ['noext', ''],
      ['.hidden', ''],
      ['C:\\music\\x.Mp4', 'mp4'],
    ];
    for (const [name, ext] of cases) expect(extensionOf(name), name).toBe(ext);
  });

  it('refuses files the player would refuse, before sending them', () => {
    expect(checkUploadFile(undefined)).toMatch(/Choose a file/);
    expect(checkUploadFile({ name: 'notes.txt', size: 10 })).toMatch(/MP3 and WAV/);
    expect(checkUploadFile({ name: 'bell.mp3', size: 0 })).toMatch(/empty/);
    expect(checkUploadFile({ name: 'Bell.MP3', size: 10 })).toBeUndefined();
  });
});

describe('error answers', () => {
  it('shows the server text of a 400 as it is, and names other failures', () => {
    expect(errorText(400, 'Bad Request', 'File is already uploaded', 'text/plain')).toBe('File is already uploaded');
    expect(errorText(500, 'Internal Server Error', '', null)).toBe('The player refused the request (HTTP 500 Internal Server Error).');
    expect(errorText(500, '', '<html><body><h1>Internal Server Error</h1></body></html>', 'text/html')).toBe('Internal Server Error (HTTP 500)');
    expect(errorText(404, 'Not Found', 'x'.repeat(400), 'text/plain').length).toBeLessThan(330);
  });
});

describe('new passwords', () => {
  it('asks for a repeated password of six characters or more', () => {
    expect(checkNewPassword('', '')).toMatch(/Enter/);
    expect(checkNewPassword('abc', 'abc')).toMatch(/at least 6/);
    expect(checkNewPassword(' secret1', ' secret1')).toMatch(/space/);
    expect(checkNewPassword('secret1', 'secret2')).toMatch(/not the same/);
    expect(checkNewPassword('sécret', 'sécret')).toBeUndefined();
  });
});
