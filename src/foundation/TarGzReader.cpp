#include "foundation/TarGzReader.hpp"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>

namespace veltrano {
namespace {

constexpr std::size_t READ_BUFFER_BYTES = 64 * 1024;

}  // namespace

struct TarGzReader::Callbacks {
  static la_ssize_t read(struct archive* archive, void* client, const void** buffer) noexcept {
    auto* self = static_cast<TarGzReader*>(client);
    try {
      self->in_.read(self->buffer_.data(), static_cast<std::streamsize>(self->buffer_.size()));
      if (self->in_.bad()) {
        archive_set_error(archive, EIO, "the archive cannot be read");
        return -1;
      }
      *buffer = self->buffer_.data();
      return static_cast<la_ssize_t>(self->in_.gcount());
    } catch (...) {
      archive_set_error(archive, EIO, "the archive cannot be read");
      return -1;
    }
  }
};

void checkGzipStream(std::istream& in) {
  std::vector<char> chunk(READ_BUFFER_BYTES);
  TarGzReader raw(in, TarGzReader::RAW);
  if (!raw.next())
    throw ArchiveError("The archive is empty");
  while (raw.read(chunk.data(), chunk.size()) > 0) {
  }
}

TarGzReader::TarGzReader(std::istream& in) : TarGzReader(in, TAR) {}

TarGzReader::TarGzReader(std::istream& in, Format format)
    : in_(in), buffer_(READ_BUFFER_BYTES), archive_(archive_read_new()) {
  if (!archive_)
    throw std::runtime_error("Cannot read an archive: out of memory");
  if (archive_read_support_filter_gzip(archive_) != ARCHIVE_OK ||
      (format == TAR ? archive_read_support_format_tar(archive_)
                     : archive_read_support_format_raw(archive_)) != ARCHIVE_OK ||
      archive_read_open(archive_, this, nullptr, &Callbacks::read, nullptr) != ARCHIVE_OK) {
    std::string reason = archive_error_string(archive_) ? archive_error_string(archive_) : "";
    archive_read_free(archive_);
    throw ArchiveError("The file is not a tar.gz archive, or it is damaged or truncated" +
                       (reason.empty() ? "" : ": " + reason));
  }
}

TarGzReader::~TarGzReader() {
  archive_read_free(archive_);
}

void TarGzReader::fail(const std::string& what) const {
  const char* reason = archive_error_string(archive_);
  throw ArchiveError(what + (reason ? std::string(": ") + reason : std::string()));
}

std::optional<TarEntry> TarGzReader::next() {
  archive_entry* header = nullptr;
  int status = archive_read_next_header(archive_, &header);
  if (status == ARCHIVE_EOF)
    return std::nullopt;
  if (status != ARCHIVE_OK)
    fail("The archive is damaged or truncated");

  TarEntry entry;
  const char* name = archive_entry_pathname_utf8(header);
  if (!name)
    name = archive_entry_pathname(header);
  entry.name = name ? name : "";
  auto type = archive_entry_filetype(header);
  if (archive_entry_hardlink(header) || type == AE_IFLNK) {
    entry.kind = TarEntry::Kind::LINK;
  } else if (type == AE_IFREG && archive_entry_sparse_count(header) == 0) {
    entry.kind = TarEntry::Kind::FILE;
  } else if (type == AE_IFDIR) {
    entry.kind = TarEntry::Kind::DIRECTORY;
  }
  if (archive_entry_size_is_set(header) && archive_entry_size(header) >= 0)
    entry.size = static_cast<std::uint64_t>(archive_entry_size(header));
  return entry;
}

std::size_t TarGzReader::read(char* buffer, std::size_t length) {
  la_ssize_t got = archive_read_data(archive_, buffer, length);
  if (got < 0)
    fail("The archive is damaged or truncated");
  return static_cast<std::size_t>(got);
}

}  // namespace veltrano
