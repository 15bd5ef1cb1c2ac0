// Shapes of the player's JSON API. Members are named exactly as the server sends them.

export type TypeOfDay = 'WORKDAY' | 'NON_WORKDAY' | 'HOLIDAY' | 'SCHOOL_BREAK' | 'REPLACED_WORKDAY';
export type TimetableSource = 'DISABLED' | 'NORMAL' | 'DAILY_OVERRIDE';

/** The id that means "no asset" and "no timetable". */
export const NULL_ID = 'NULL';

export interface PlayDesc {
  id: string;
  doRepeat: boolean;
  iterations: number;
  delaySec: number;
}

export interface SignalTable {
  lessons: string[];
  startOfClass: PlayDesc;
  endOfClass: PlayDesc;
  preStartWaitMin: number;
  preStart: PlayDesc;
  preEndWaitMin: number;
  preEnd: PlayDesc;
}

export interface UserPlay {
  desc: PlayDesc;
  slots: string[];
}

export interface TimeTable {
  name: string;
  chA: SignalTable;
  chB: SignalTable;
  customPlays: UserPlay[];
  [other: string]: unknown;
}

/** A timetable as listed by the server: the record plus its key. */
export type TimeTableEntry = TimeTable & { id: string };

export interface NamedId {
  id: string;
  name: string;
}

export interface TimetableInfo {
  id: string;
  source: TimetableSource;
  date: string;
  dayOfWeek: number;
  typeOfDay: TypeOfDay;
  programmeToday?: string | null;
}

export interface Status {
  time: string;
  isPlaying: boolean;
  version: string;
  /** The player's time zone; absent from older players. */
  timeZone?: { name: string; utcOffsetSec: number };
  /** Set while a store cannot be written; absent from players that do not report it. */
  saveError?: { store: string; reason: string; since: string } | null;
  /** How the operating system keeps the player's clock; null where it can't tell. */
  clock?: { synchronised: boolean; estimatedErrorMs: number | null } | null;
  /** The newest sound the player started (or failed to). */
  lastSound?: HistoryEntry | null;
}

/** One sound of the day's log, where the player keeps one. */
export interface HistoryEntry {
  due?: string | null;
  started?: string | null;
  /** Milliseconds between the second it was due and its start. */
  lateMs?: number;
  source?: string;
  timetable?: string;
  signalId?: string;
  name?: string;
  outcome: 'started' | 'failed' | 'skipped';
  reason?: string;
  /** When a start failed; absent from older players. */
  failedAt?: string | null;
}

export interface DayInfo {
  id: string;
  day: number;
  typeOfDay: TypeOfDay;
  isToday: boolean;
  isGivenMonth: boolean;
}

export interface MonthView {
  year: number;
  month: number;
  defaultTimetableId: string;
  days: DayInfo[];
}

export interface Info {
  version: string;
  internetAccess: boolean;
  maxUploadBytes?: number;
}

export interface Overview {
  passwordMissing: boolean;
  timetables: NamedId[];
  activeTimetableInfo: TimetableInfo;
  /** While the bells are off: the timetable whose bells do not ring today ("NULL" for none). */
  silencedTimetableId?: string | null;
  time: string;
  isRelease: boolean;
  alarmActive: boolean;
  calendar: MonthView;
}

/** Storage categories of audio assets. */
export const AssetCategory = {
  BUILT_IN_SIGNAL: 0,
  USER_SIGNAL: 1,
  PROGRAMME: 2,
  PROGRAMMED_ANNOUNCEMENT: 3,
} as const;

export interface AudioAsset {
  id: string;
  name: string;
  md5: string;
  filename: string;
  lengthSec: number;
  storageCategory: number;
  lastModified?: string;
}

export interface ProgrammeEntry {
  id: string;
  songId: string;
  date: string;
  time: string;
  deleteAfterPlay: boolean;
  programName: string;
  lengthSec: number;
}

export interface ProgrammeInfo {
  programmes: ProgrammeEntry[];
  date: string;
}

export interface DailyPreferences {
  selectedTimetableId?: string | null;
}

export interface Settings {
  defaultTimetableId: string;
  schedulerEnable: boolean;
  dailyPreferences: DailyPreferences;
  alarmSignalId: string;
  alarmDelaySec: number;
  announcementSignalId: string;
  alerts?: AlertSettings;
}

/** What someone away from the screen is told of by e-mail. */
export type AlertKind = 'bellFailed' | 'clockUnsynchronised' | 'saveFailed' | 'restartedAfterFailure';
export interface AlertSettings {
  email: string[];
  on: AlertKind[];
}

export interface SingleEvent {
  timeTableId: string;
  start: string;
  end: string;
  /** What the days are; missing or empty for events made without one. */
  name?: string;
  /** The subscribed calendar's address the event came from; empty for the user's own. */
  feed?: string;
}

export interface RecurringEvent {
  timeTableId: string;
  mode: number;
  days: number;
}

export interface Region {
  id: string;
  name: string;
  provideHolidays?: boolean;
  validUntil?: string;
}

export interface CalendarInfo {
  workdayMode: number;
  syncRegionId: string;
  syncSchoolHolidays: boolean;
  timetables: NamedId[];
  regions: Region[];
  lastUpdate: string;
  date: string;
  singleEvents: SingleEvent[];
  reoccurringEvents: RecurringEvent[];
  defaultTimetableId: string;
}
