const unit = (n: number, word: string) => `${n} ${word}${n === 1 ? '' : 's'}`;

/** A wait as people say it: "45 seconds", "2 minutes", "1 minute and 30 seconds". */
export function durationInWords(totalSeconds: number): string {
  const seconds = Math.max(0, Math.ceil(totalSeconds));
  if (seconds < 60) return unit(seconds, 'second');
  const minutes = Math.floor(seconds / 60);
  const rest = seconds % 60;
  return rest ? `${unit(minutes, 'minute')} and ${unit(rest, 'second')}` : unit(minutes, 'minute');
}
