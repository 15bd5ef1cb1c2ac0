import { describe, expect, it } from 'vitest';
import { dashboardLiterals, jsxLiterals } from '../../tools/check-jsx-literals.mjs';

describe('texts in JSX', () => {
  it('come from the catalogues in every page and component', () => {
    expect(dashboardLiterals()).toEqual([]);
  });

  it('are found where a person would read them', () => {
    const found = jsxLiterals(`
      const a = <p>Hello there</p>;
      const b = <button aria-label="Close the day">{'Save'}</button>;
      const c = <input placeholder={busy ? 'Saving…' : \`Save \${name}\`} title={t('x')} />;
      const d = <span>{08}:{'00'} – ✕ {t('ok')} {name}</span>;
      const e = <Loading text="the log" />;
    `);
    expect(found.map((f) => f.text)).toEqual(['Hello there', 'Close the day', 'Save', 'Saving…', 'Save', 'the log']);
  });
});
