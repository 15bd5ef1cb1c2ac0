#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "http/Exchange.hpp"
#include "http/HttpContext.hpp"
#include "storage/BackupArchive.hpp"
#include "storage/WorkArea.hpp"

namespace veltrano {

// The path of the one route whose body is streamed to disk instead of held in memory.
inline constexpr const char* RESTORE_PATH = "/restore";
// The largest restore request: the archive and room for the form around it.
inline constexpr std::size_t MAX_RESTORE_UPLOAD_BYTES = MAX_BACKUP_BYTES + 1024 * 1024;

// GET /backup: the whole setup as veltrano-backup-<YYYYmmdd-HHMMSS>.tar.gz; 400 with the reason
// when an audio file the database refers to is missing.
void get_backup(HttpContext& context, Exchange& exchange);
// GET /backup/snapshots: [{"name", "created", "reason", "size", "contents", "restoring"}],
// newest first. contents: {"timetables", "events", "uploadedSignals", "passwordSet"}, or null
// for a snapshot that cannot be read; restoring, only in one taken before a restore:
// {"kind": "snapshot" or "file", "name": the snapshot's time or the file's name}.
void get_snapshots(HttpContext& context, Exchange& exchange);
// What takes the restore's multipart body as it arrives: the archive into the leased file.
std::unique_ptr<BodySink> makeArchiveReceiver(WorkArea::Lease file, const std::string& contentType);
// POST /restore, multipart with the archive in part "file", written to disk as it arrives.
// Answers {"snapshot", "loggedIn", "missingAudioFiles"}; 400 with the reason, and nothing
// changed, for an archive that is refused. loggedIn is false when the restored password
// differs: this browser must then log in again.
void restore_upload(HttpContext& context, Exchange& exchange, SessionSigner& sessions);
// POST /restore/snapshot/<name>[?restorePassword=true]: restores one of the snapshots; the
// password in force stays unless restorePassword is true. Answers as restore_upload.
void restore_snapshot(HttpContext& context, Exchange& exchange, SessionSigner& sessions);

}  // namespace veltrano
