// Fails on a user-visible literal string in the dashboard's JSX: every text must come from the
// catalogues in src/i18n (t('key')). Flagged: JSX text with a letter in it, and a string with a
// letter given to a child expression or to an attribute people read (aria-label, title, alt,
// placeholder, label, legend). Texts without letters (punctuation, "08:00", "✕") pass.
//
//   node tools/check-jsx-literals.mjs [files...]     (default: every .tsx under src/)
import { readdirSync, readFileSync } from 'node:fs';
import { join, relative } from 'node:path';
import { fileURLToPath } from 'node:url';
import ts from 'typescript';

const READ_ATTRIBUTES = new Set(['aria-label', 'aria-description', 'aria-roledescription', 'aria-valuetext', 'title', 'alt', 'placeholder', 'label', 'legend', 'submitLabel', 'what', 'text']);
const LETTER = /\p{L}/u;

/** The literal texts of one TSX source: [{ line, text }]. */
export function jsxLiterals(source, fileName = 'file.tsx') {
  const file = ts.createSourceFile(fileName, source, ts.ScriptTarget.Latest, true, ts.ScriptKind.TSX);
  const found = [];
  const report = (node, text) => {
    if (!LETTER.test(text)) return;
    const { line } = file.getLineAndCharacterOfPosition(node.getStart(file));
    found.push({ line: line + 1, text: text.trim().replace(/\s+/g, ' ') });
  };
  // A string literal, or each literal part of a template, or both branches of a conditional.
  const literalsOf = (expr, at) => {
    if (!expr) return;
    if (ts.isParenthesizedExpression(expr)) return literalsOf(expr.expression, at);
    if (ts.isStringLiteral(expr) || ts.isNoSubstitutionTemplateLiteral(expr)) return report(at ?? expr, expr.text);
    if (ts.isTemplateExpression(expr)) {
      report(at ?? expr, [expr.head.text, ...expr.templateSpans.map((s) => s.literal.text)].join(' '));
      return;
    }
    if (ts.isConditionalExpression(expr)) {
      literalsOf(expr.whenTrue, at);
      literalsOf(expr.whenFalse, at);
      return;
    }
    if (ts.isBinaryExpression(expr) && [ts.SyntaxKind.BarBarToken, ts.SyntaxKind.QuestionQuestionToken, ts.SyntaxKind.AmpersandAmpersandToken].includes(expr.operatorToken.kind)) {
      literalsOf(expr.right, at);
      if (expr.operatorToken.kind !== ts.SyntaxKind.AmpersandAmpersandToken) literalsOf(expr.left, at);
    }
  };
  const visit = (node) => {
    if (ts.isJsxText(node)) report(node, node.text);
    else if (ts.isJsxExpression(node) && node.parent && (ts.isJsxElement(node.parent) || ts.isJsxFragment(node.parent))) literalsOf(node.expression);
    else if (ts.isJsxAttribute(node)) {
      const name = node.name.getText(file);
      if (READ_ATTRIBUTES.has(name) && node.initializer) {
        if (ts.isStringLiteral(node.initializer)) report(node, node.initializer.text);
        else if (ts.isJsxExpression(node.initializer)) literalsOf(node.initializer.expression, node);
      }
    }
    ts.forEachChild(node, visit);
  };
  visit(file);
  return found;
}

function tsxFiles(dir) {
  return readdirSync(dir, { withFileTypes: true }).flatMap((e) => {
    const path = join(dir, e.name);
    if (e.isDirectory()) return e.name === 'i18n' ? [] : tsxFiles(path);
    return e.name.endsWith('.tsx') ? [path] : [];
  });
}

/** Every literal in the dashboard's TSX files, outside the catalogues: ["file:line: text"]. */
export function dashboardLiterals(files) {
  const root = fileURLToPath(new URL('..', import.meta.url));
  const list = files?.length ? files : tsxFiles(join(root, 'src'));
  return list.flatMap((f) => jsxLiterals(readFileSync(f, 'utf8'), f).map((l) => `${relative(root, f)}:${l.line}: ${JSON.stringify(l.text)}`));
}

if (process.argv[1] && fileURLToPath(import.meta.url) === process.argv[1]) {
  const problems = dashboardLiterals(process.argv.slice(2));
  if (problems.length) {
    console.error(`Texts in JSX that are not from the catalogues (put them in src/i18n/en.ts, hu.ts and de.ts, and use t('key')):\n${problems.join('\n')}`);
    process.exit(1);
  }
  console.log('No literal text in JSX.');
}
