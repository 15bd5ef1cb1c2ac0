import { t } from '../i18n';

export const MIN_PASSWORD_LENGTH = 6;

/** Why a new password is refused, or undefined when it is fine. */
export function checkNewPassword(password: string, repeat: string): string | undefined {
  if (password.length === 0) return t('password.empty');
  if (password.trim() !== password) return t('password.space');
  if ([...password].length < MIN_PASSWORD_LENGTH) return t('password.short', { min: MIN_PASSWORD_LENGTH });
  if (password !== repeat) return t('password.mismatch');
  return undefined;
}
