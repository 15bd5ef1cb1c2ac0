// What the player accepts as an upload, checked before the file is sent.

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
  if (!file) return 'Choose a file first.';
  const ext = extensionOf(file.name);
  if (!UPLOAD_EXTENSIONS.includes(ext)) {
    return `"${file.name}" cannot be used: the player plays MP3 and WAV files only.`;
  }
  if (file.size === 0) return `"${file.name}" is empty.`;
  // Leaves room for the form around the file.
  if (file.size > maxBytes - 64 * 1024) return `"${file.name}" is ${formatSize(file.size)}: the player takes files up to ${formatSize(maxBytes)}.`;
  return undefined;
}

export function formatSize(bytes: number): string {
  return bytes >= 1024 * 1024 ? `${Math.round(bytes / (1024 * 1024))} MB` : `${Math.ceil(bytes / 1024)} KB`;
}

export function formatLength(sec: number): string {
  if (sec < 0) return 'unknown length';
  const m = Math.floor(sec / 60);
  const s = sec % 60;
  return m > 0 ? `${m} min ${s} s` : `${s} s`;
}
