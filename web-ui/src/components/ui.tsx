// Small building blocks shared by the pages.
import { createContext, type AnchorHTMLAttributes, type ComponentChildren } from 'preact';
import { useContext, useEffect, useRef } from 'preact/hooks';
import type { Action } from '../lib/hooks';
import { followLink } from '../lib/router';
import { t } from '../i18n';
import { percentText } from '../i18n/format';
import type { AudioAsset } from '../lib/types';
import { NULL_ID } from '../lib/types';

export function Link(props: AnchorHTMLAttributes<HTMLAnchorElement> & { href: string }) {
  return <a {...props} onClick={followLink} />;
}

/** A page with its heading; the heading takes the focus so screen readers announce the new page. */
export function Page(props: { title: string; children: ComponentChildren; actions?: ComponentChildren }) {
  const heading = useRef<HTMLHeadingElement>(null);
  useEffect(() => {
    document.title = t('app.pageTitle', { title: props.title });
    heading.current?.focus({ preventScroll: true });
  }, [props.title]);
  return (
    <section class="page" aria-labelledby="page-title">
      <div class="page-head">
        <h1 id="page-title" tabIndex={-1} ref={heading}>
          {props.title}
        </h1>
        {props.actions}
      </div>
      {props.children}
    </section>
  );
}

export function ErrorText(props: { error?: string }) {
  if (!props.error) return null;
  return (
    <p class="msg msg-error" role="alert">
      {props.error}
    </p>
  );
}

export function OkText(props: { text?: string }) {
  if (!props.text) return null;
  return (
    <p class="msg msg-ok" role="status">
      {props.text}
    </p>
  );
}

/** The outcome of an action: its failure in words, or its success. */
export function Outcome(props: { action: Action }) {
  return (
    <div aria-live="polite">
      <ErrorText error={props.action.error} />
      <OkText text={props.action.done} />
    </div>
  );
}

/** A text saying what is being loaded: t('loading.…'). */
export function Loading(props: { text: string }) {
  return (
    <p class="muted" role="status">
      {props.text}
    </p>
  );
}

/** Brings a field into view and gives it the focus, opening a folded section around it. */
export function focusField(id: string | undefined): void {
  const field = id ? document.getElementById(id) : null;
  if (!field) return;
  for (let d = field.closest('details'); d; d = d.parentElement?.closest('details') ?? null) d.open = true;
  field.scrollIntoView({ block: 'center' });
  field.focus({ preventScroll: true });
}

/** Ids of the fields that a failed check marked, so that each shows it. */
export const InvalidFields = createContext<ReadonlySet<string>>(new Set());

/** A list of problems found in a form before it is sent; each leads to its field. */
export function Problems(props: { errors: { text: string; field?: string }[]; title?: string; warn?: boolean }) {
  if (props.errors.length === 0) return null;
  return (
    <div class={props.warn ? 'msg msg-warn' : 'msg msg-error'} role={props.warn ? 'status' : 'alert'}>
      <p>{props.title ?? t('common.problems')}</p>
      <ul>
        {props.errors.map((e) => (
          <li key={e.text}>
            {e.field ? (
              <a
                href={`#${e.field}`}
                onClick={(ev) => {
                  ev.preventDefault();
                  focusField(e.field);
                }}
              >
                {e.text}
              </a>
            ) : (
              e.text
            )}
          </li>
        ))}
      </ul>
    </div>
  );
}

/** Ids of the signals whose audio file is gone, for the signal choices below it. */
export const MissingFiles = createContext<string[]>([]);

/** A choice among the signals, with "None" and a marker for an id that no longer exists. */
export function SignalSelect(props: {
  id: string;
  label: string;
  value: string;
  signals: AudioAsset[];
  onChange: (id: string) => void;
  allowNone?: boolean;
  hideLabel?: boolean;
}) {
  const missingFiles = useContext(MissingFiles);
  const invalid = useContext(InvalidFields).has(props.id);
  const known = props.value === NULL_ID || props.signals.some((s) => s.id === props.value);
  return (
    <div class="field">
      <label for={props.id} class={props.hideLabel ? 'visually-hidden' : undefined}>
        {props.label}
      </label>
      <select id={props.id} value={props.value} aria-invalid={invalid ? true : undefined} onChange={(e) => props.onChange(e.currentTarget.value)}>
        {props.allowNone !== false && <option value={NULL_ID}>{t('signal.none')}</option>}
        {!known && <option value={props.value}>{t('signal.deleted', { id: props.value })}</option>}
        {props.signals.map((s) => {
          const named = s.lengthSec >= 0 ? t('signal.withLength', { name: s.name, seconds: s.lengthSec }) : s.name;
          return (
            <option key={s.id} value={s.id}>
              {missingFiles.includes(s.id) ? t('signal.fileMissing', { name: named }) : named}
            </option>
          );
        })}
      </select>
    </div>
  );
}

export function ProgressBar(props: { fraction: number; label: string }) {
  const percent = Math.round(props.fraction * 100);
  return (
    <div class="progress">
      <progress max={100} value={percent} aria-label={props.label} />
      <span aria-hidden="true">{percentText(props.fraction)}</span>
    </div>
  );
}

/**
 * A question that needs more than OK or Cancel (a choice, a tick box): a modal dialog over the
 * page, which moves nothing on it. Escape or Cancel answers no.
 */
export function ConfirmDialog(props: {
  open: boolean;
  title: string;
  confirmLabel: string;
  onConfirm: () => void;
  onCancel: () => void;
  danger?: boolean;
  children: ComponentChildren;
}) {
  const dialog = useRef<HTMLDialogElement>(null);
  useEffect(() => {
    const d = dialog.current;
    if (!d) return;
    if (props.open && !d.open) d.showModal();
    if (!props.open && d.open) d.close();
  }, [props.open]);
  return (
    <dialog ref={dialog} class="confirm" aria-labelledby="confirm-title" onCancel={props.onCancel}>
      {props.open && (
        <form
          method="dialog"
          onSubmit={(e) => {
            e.preventDefault();
            props.onConfirm();
          }}
        >
          <h2 id="confirm-title">{props.title}</h2>
          {props.children}
          <div class="buttons">
            <button type="submit" class={props.danger ? 'danger' : 'primary'}>
              {props.confirmLabel}
            </button>
            <button type="button" onClick={props.onCancel}>
              {t('common.cancel')}
            </button>
          </div>
        </form>
      )}
    </dialog>
  );
}
