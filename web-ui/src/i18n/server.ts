// The player's own refusals and errors that the dashboard words in its language. The player
// answers every caller in English; the dashboard shows a text it knows here in the chosen
// language, and any other exactly as the player sent it.
import { t, type MessageKey } from './index';

export const SERVER_MESSAGES: Record<string, MessageKey> = {
  'Another restore is running: try again when it has finished': 'server.anotherRestore',
  'Cannot read the uploaded archive': 'server.cannotReadArchive',
  'Cannot write the backup to disk': 'server.cannotWriteBackup',
  'Failed to download announcement': 'server.announcementDownload',
  'File is already uploaded': 'server.alreadyUploaded',
  'Not an audio file the player can play': 'server.notAudio',
  'The announcement could not be played': 'server.announcementNotPlayed',
  'The archive has no manifest: it is not a Veltrano Player backup, or it is truncated': 'server.noManifest',
  'The calendar changed; reload': 'server.calendarChanged',
  'The player cannot store the upload': 'server.cannotStoreUpload',
  'The speech synthesizer could not list its voices': 'server.noVoices',
  'The text is empty': 'server.emptyText',
  'The upload ended before the archive was complete': 'server.uploadIncomplete',
  'This is not a Veltrano Player backup': 'server.notBackup',
  'Too many connections from this computer. Try again soon.': 'server.tooManyConnections',
  'The spoken preview could not be read': 'server.previewUnreadable',
  'Send one archive at a time': 'server.oneArchive',
  'Invalid timetable': 'server.invalidTimetable',
  'Key already exists': 'server.keyExists',
  'Unknown host name': 'server.unknownHost',
  'Cross-site request refused': 'server.crossSite',
  'No e-mail address is set for alerts': 'alerts.noAddress',
  "The calendar's server could not be reached": 'server.feedUnreachable',
  "The calendar's server did not answer in time": 'server.feedNoAnswer',
  "No secure connection to the calendar's server": 'server.feedNoTls',
  "The calendar's server has a certificate that is not trusted": 'server.feedCertificate',
  "The calendar's server did not send it in time": 'server.feedTooSlow',
  "The calendar's server redirected too many times": 'server.feedRedirects',
  'The calendar is too large (more than 1 MiB)': 'server.feedTooLarge',
  'The calendar holds more events than the player can keep': 'server.feedTooMany',
  'The calendar could not be fetched': 'server.feedNotFetched',
  'This calendar is subscribed already': 'server.feedSubscribed',
};

/** The player's text in the dashboard's language where it is a known one; else as it came. */
export function serverText(text: string): string {
  const key = Object.prototype.hasOwnProperty.call(SERVER_MESSAGES, text) ? SERVER_MESSAGES[text] : undefined;
  return key ? t(key) : text;
}
