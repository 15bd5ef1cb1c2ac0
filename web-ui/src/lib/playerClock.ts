// The player's clock against the clock of the device showing the dashboard.
import { parseTime, secondsOfDay } from './time';
import type { Status } from './types';
import { t } from '../i18n';

const DAY = 24 * 3600;
const TOLERANCE_SEC = 60;

/** "CET, UTC+01:00" */
export function zoneText(zone: { name: string; utcOffsetSec: number }): string {
  const sign = zone.utcOffsetSec < 0 ? '-' : '+';
  const abs = Math.abs(zone.utcOffsetSec);
  const offset = `UTC${sign}${String(Math.floor(abs / 3600)).padStart(2, '0')}:${String(Math.floor((abs % 3600) / 60)).padStart(2, '0')}`;
  return zone.name && !zone.name.startsWith('UTC') ? `${zone.name}, ${offset}` : offset;
}

/**
 * How far this device's clock is from the player's, in words, when more than a minute; undefined
 * otherwise or when it cannot be told. Compared in the player's zone, as times of day.
 */
export function clockDrift(status: Pick<Status, 'time' | 'timeZone'>, device: Date): string | undefined {
  if (!status.timeZone) return undefined;
  const player = parseTime(status.time);
  if (!player.ok) return undefined;
  const deviceSec = Math.floor(device.getTime() / 1000) + status.timeZone.utcOffsetSec;
  const deviceOfDay = ((deviceSec % DAY) + DAY) % DAY;
  let diff = deviceOfDay - secondsOfDay(player.value);
  if (diff > DAY / 2) diff -= DAY;
  if (diff < -DAY / 2) diff += DAY;
  if (Math.abs(diff) <= TOLERANCE_SEC) return undefined;
  const abs = Math.abs(diff);
  const amount = abs >= 3600 ? t('unit.hoursMinutes', { h: Math.floor(abs / 3600), m: Math.round((abs % 3600) / 60) }) : t('unit.minutes', { m: Math.round(abs / 60) });
  return diff > 0 ? t('home.driftAhead', { amount }) : t('home.driftBehind', { amount });
}
