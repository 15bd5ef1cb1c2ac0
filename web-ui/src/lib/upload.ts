// What the player accepts as an upload, checked before the file is sent.
import { t } from '../i18n';
import { sizeText } from '../i18n/format';

// The player keeps only content that decodes as MP3 or WAVE.
export const UPLOAD_EXTENSIONS = ['wav', 'mp3'];
export const UPLOAD_ACCEPT = '.mp3,.wav,audio/mpeg,audio/wav';
/** The player's limit, where it does not say its own. */
export const MAX_UPLOAD_BYTES = 100 * 1024 * 1024;

/** The file's extension in lower case, without the dot; empty when there is none. */
export function extensionOf(fileName: string): string {
  const base = fileName.split(/[\\/]/).pop() ?? '';
  const stripped = base.replace(/^\.+/, '');
  const dot = stripped.lastIndexOf('.');
  return dot < 0 ? '' : stripped.slice(dot + 1).toLowerCase();
}

/** Why the file cannot be uploaded, or undefined. */
export function checkUploadFile(file: { name: string; size: number } | undefined, maxBytes = MAX_UPLOAD_BYTES): string | undefined {
  if (!file) return t('upload.chooseFile');
  const ext = extensionOf(file.name);
  if (!UPLOAD_EXTENSIONS.includes(ext)) {
    return t('upload.wrongType', { name: file.name });
  }
  if (file.size === 0) return t('upload.empty', { name: file.name });
  // Leaves room for the form around the file.
  if (file.size > maxBytes - 64 * 1024) return t('upload.tooLarge', { name: file.name, size: formatSize(file.size), max: formatSize(maxBytes) });
  return undefined;
}

export const formatSize = sizeText;

export function formatLength(sec: number): string {
  if (sec < 0) return t('unit.unknownLength');
  const m = Math.floor(sec / 60);
  const s = sec % 60;
  return m > 0 ? t('unit.minutesSeconds', { m, s }) : t('unit.seconds', { n: s });
}
