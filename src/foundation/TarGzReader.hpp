#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct archive;

namespace veltrano {

// An archive that is damaged, truncated or of another kind.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the whole gzip stream to its end, through its trailer and checksum: the tar reader
// stops at the archive's end marker and would not notice a stream cut off just after it.
// Throws ArchiveError for a damaged or truncated stream.
void checkGzipStream(std::istream& in);

// One entry of an archive as its header describes it.
struct TarEntry {
  enum class Kind { FILE, DIRECTORY, LINK, OTHER };

  std::string name;  // as stored; not checked here
  Kind kind = Kind::OTHER;
  std::optional<std::uint64_t> size;  // declared size, when the header gives one
};

// Reads a gzip-compressed tar archive entry by entry from a stream, holding no more than a
// buffer of it. Throws ArchiveError, with the reason, for anything that is not a complete,
// undamaged such archive; even a warning of the decoder counts as damage.
class TarGzReader {
 public:
  explicit TarGzReader(std::istream& in);
  ~TarGzReader();
  TarGzReader(const TarGzReader&) = delete;
  TarGzReader& operator=(const TarGzReader&) = delete;

  // The next entry's header; nullopt after the last one. Skips what is left of the current one.
  std::optional<TarEntry> next();
  // Up to length bytes of the current entry's content; 0 at its end.
  std::size_t read(char* buffer, std::size_t length);

 private:
  friend void checkGzipStream(std::istream& in);
  enum Format { TAR, RAW };  // RAW: the decompressed stream as one entry
  TarGzReader(std::istream& in, Format format);

  struct Callbacks;
  [[noreturn]] void fail(const std::string& what) const;

  std::istream& in_;
  std::vector<char> buffer_;
  struct archive* archive_ = nullptr;
};

}  // namespace veltrano
