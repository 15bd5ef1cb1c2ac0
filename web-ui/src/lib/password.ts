export const MIN_PASSWORD_LENGTH = 6;

/** Why a new password is refused, or undefined when it is fine. */
export function checkNewPassword(password: string, repeat: string): string | undefined {
  if (password.length === 0) return 'Enter a new password.';
  if (password.trim() !== password) return 'The password must not begin or end with a space.';
  if ([...password].length < MIN_PASSWORD_LENGTH) return `The password must have at least ${MIN_PASSWORD_LENGTH} characters.`;
  if (password !== repeat) return 'The two passwords are not the same.';
  return undefined;
}
