import { t } from '../i18n';

/** A wait as people say it: "45 seconds", "2 minutes", "1 minute and 30 seconds". */
export function durationInWords(totalSeconds: number): string {
  const seconds = Math.max(0, Math.ceil(totalSeconds));
  if (seconds < 60) return t('duration.seconds', { n: seconds });
  const minutes = t('duration.minutes', { n: Math.floor(seconds / 60) });
  const rest = seconds % 60;
  return rest ? t('duration.minutesAndSeconds', { minutes, seconds: t('duration.seconds', { n: rest }) }) : minutes;
}
