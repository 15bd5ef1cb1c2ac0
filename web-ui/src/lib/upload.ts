// What the player accepts as an upload, checked before the file is sent.

export const UPLOAD_EXTENSIONS = ['wav', 'mp3', 'mp4'];
export const UPLOAD_ACCEPT = '.mp3,.wav,.mp4,audio/mpeg,audio/wav,audio/mp4';

/** The file's extension in lower case, without the dot; empty when there is none. */
export function extensionOf(fileName: string): string {
  const base = fileName.split(/[\\/]/).pop() ?? '';
  const stripped = base.replace(/^\.+/, '');
  const dot = stripped.lastIndexOf('.');
  return dot < 0 ? '' : stripped.slice(dot + 1).toLowerCase();
}

/** Why the file cannot be uploaded, or undefined. */
export function checkUploadFile(file: { name: string; size: number } | undefined): string | undefined {
  if (!file) return 'Choose a file first.';
  const ext = extensionOf(file.name);
  if (!UPLOAD_EXTENSIONS.includes(ext)) {
    return `"${file.name}" cannot be used: the player plays MP3 and WAV files (and MP4 audio) only.`;
  }
  if (file.size === 0) return `"${file.name}" is empty.`;
  return undefined;
}

export function formatLength(sec: number): string {
  if (sec < 0) return 'unknown length';
  const m = Math.floor(sec / 60);
  const s = sec % 60;
  return m > 0 ? `${m} min ${s} s` : `${s} s`;
}
