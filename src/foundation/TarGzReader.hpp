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

// The archive unpacks to more than the reader was allowed to unpack.
class ArchiveTooLarge : public ArchiveError {
 public:
  using ArchiveError::ArchiveError;
};

// One entry of an archive as its header describes it.
struct TarEntry {
  enum class Kind { FILE, DIRECTORY, LINK, OTHER };

  std::string name;  // as stored; not checked here
  Kind kind = Kind::OTHER;
  std::optional<std::uint64_t> size;  // declared size, when the header gives one
};

// Reads a gzip-compressed tar archive entry by entry from a stream in one pass, holding no
// more than a buffer of it, and unpacking no more than maxUnpackedBytes of the tar stream
// (headers and padding count too), of which at most 1 MiB after the archive's end marker.
// Throws ArchiveError, with the reason, for anything that is not a complete, undamaged such
// archive; even a warning of the decoder counts as damage.
// Throws ArchiveTooLarge as soon as the limit would be passed.
class TarGzReader {
 public:
  TarGzReader(std::istream& in, std::uint64_t maxUnpackedBytes);
  ~TarGzReader();
  TarGzReader(const TarGzReader&) = delete;
  TarGzReader& operator=(const TarGzReader&) = delete;

  // The next entry's header; nullopt after the last one, once the compressed stream has been
  // read to its end through its trailer and checksum (the tar format ends at its end marker
  // and would not notice a stream cut off just after it). Skips what is left of the current
  // entry.
  std::optional<TarEntry> next();
  // Up to length bytes of the current entry's content; 0 at its end.
  std::size_t read(char* buffer, std::size_t length);

 private:
  struct Callbacks;
  [[noreturn]] void fail(const std::string& what) const;
  void readToEnd();

  std::istream& in_;
  std::vector<char> packed_;          // compressed bytes on their way to the gzip decoder
  std::vector<char> unpackedBuffer_;  // the tar stream on its way to the tar reader
  std::uint64_t maxUnpacked_;
  std::uint64_t unpacked_ = 0;
  bool tooLarge_ = false;
  struct archive* gzip_ = nullptr;  // the compressed stream as one raw entry
  struct archive* tar_ = nullptr;   // reads what gzip_ unpacks
};

}  // namespace veltrano
