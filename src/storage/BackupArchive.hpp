#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <istream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/TarGzWriter.hpp"

namespace veltrano {

// The largest archive a restore reads, counted in its unpacked bytes; a backup of more can be
// made but not restored.
inline constexpr std::uint64_t MAX_BACKUP_BYTES = 1024ULL * 1024 * 1024;
// An archive unpacks to at most this many times its compressed size: audio hardly compresses,
// and the store files of a real setup far less than this.
inline constexpr std::uint64_t MAX_UNPACK_RATIO = 100;
// Limits for the parts held in memory while an archive is checked.
inline constexpr std::uint64_t MAX_STORE_FILE_BYTES = 64ULL * 1024 * 1024;
inline constexpr std::uint64_t MAX_MANIFEST_BYTES = 4ULL * 1024 * 1024;
inline constexpr std::size_t MAX_ARCHIVE_ENTRIES = 20000;
// Raised when the archive's layout changes in a way older programs cannot read.
inline constexpr int BACKUP_FORMAT_VERSION = 1;

// Why a backup cannot be made or an archive cannot be restored, in words for the user.
class BackupRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The texts of the three store files at one moment.
struct StoreTexts {
  std::string db;
  std::string shadow;
  std::string cache;
};

// An uploaded audio file of the user data directory, by its stored name.
struct AudioFileRef {
  std::string name;
  std::filesystem::path path;
};

// What a restore brought in, for the snapshot taken before it: kind "snapshot" with the
// snapshot's time (YYYY-MM-DD HH:MM:SS), or kind "file" with the uploaded file's name.
struct RestoreSource {
  std::string kind;
  std::string name;
};

// What one archive holds: the stores, the audio files (none in a snapshot), and who made it
// when.
struct BackupContent {
  StoreTexts stores;
  std::vector<AudioFileRef> audio;
  std::string programVersion;
  std::string created;  // local time, YYYY-MM-DDTHH:MM:SS
  std::time_t modified = 0;
  // Set in the snapshot taken before a restore; older programs ignore it.
  std::optional<RestoreSource> beforeRestoring;
};

// True for a name an uploaded audio file may have: a plain file name, not hidden, valid UTF-8
// without control characters, ending in .wav, .mp3 or .mp4. No other name is written into
// the data directory by a restore.
bool isAudioFileName(std::string_view name);

// Writes the archive: the three store files, the audio files below "audio/", and last
// "manifest.json" with the program version, the time and every file's size and SHA-256.
// Audio files are streamed from disk. Throws std::runtime_error when a file cannot be read
// or changed size meanwhile; what the sink throws passes through.
void writeBackupArchive(const BackupContent& content, const TarGzWriter::Sink& sink);

// An archive whose every file was read, and found complete and matching its manifest.
struct CheckedArchive {
  std::string programVersion;
  std::string created;
  std::optional<RestoreSource> beforeRestoring;
  StoreTexts stores;
  std::map<std::string, std::filesystem::path> audio;  // audio file name -> staged copy
};

// Reads and checks a whole archive, in one pass, before anything of it is used: only the
// entries a backup has (no links, no absolute paths, no ".."), each within its size limit,
// each listed in a manifest of a known format version with its size and SHA-256. Unpacks no
// more than MAX_BACKUP_BYTES, nor more than MAX_UNPACK_RATIO times the compressed size.
// Audio files are written into stagingDir as they are read. in must be seekable, for its
// size. Throws BackupRefused with the reason at the first limit passed.
CheckedArchive readBackupArchive(std::istream& in, const std::filesystem::path& stagingDir);

}  // namespace veltrano
