#include "foundation/TarGzReader.hpp"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>

namespace veltrano {
namespace {

constexpr std::size_t READ_BUFFER_BYTES = 64 * 1024;
// Writers pad a tar stream to their record size (10 KiB by default) after its end marker;
// more than this is not padding but something hidden behind the archive.
constexpr std::uint64_t MAX_PADDING_BYTES = 1024 * 1024;

std::string reasonOf(struct archive* archive) {
  const char* reason = archive_error_string(archive);
  return reason ? reason : "";
}

}  // namespace

struct TarGzReader::Callbacks {
  static la_ssize_t packed(struct archive* archive, void* client, const void** buffer) noexcept {
    auto* self = static_cast<TarGzReader*>(client);
    try {
      self->in_.read(self->packed_.data(), static_cast<std::streamsize>(self->packed_.size()));
      if (self->in_.bad()) {
        archive_set_error(archive, EIO, "the archive cannot be read");
        return -1;
      }
      *buffer = self->packed_.data();
      return static_cast<la_ssize_t>(self->in_.gcount());
    } catch (...) {
      archive_set_error(archive, EIO, "the archive cannot be read");
      return -1;
    }
  }

  // Counts the tar stream as it is unpacked, and unpacks at most one byte beyond the limit.
  static la_ssize_t unpacked(struct archive* archive, void* client, const void** buffer) noexcept {
    auto* self = static_cast<TarGzReader*>(client);
    std::uint64_t room = self->maxUnpacked_ - self->unpacked_;
    std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(
        self->unpackedBuffer_.size(), room == UINT64_MAX ? room : room + 1));
    la_ssize_t got = archive_read_data(self->gzip_, self->unpackedBuffer_.data(), wanted);
    if (got < 0) {
      archive_set_error(archive, EIO, "%s", reasonOf(self->gzip_).c_str());
      return -1;
    }
    self->unpacked_ += static_cast<std::uint64_t>(got);
    if (self->unpacked_ > self->maxUnpacked_) {
      self->tooLarge_ = true;
      archive_set_error(archive, EFBIG, "it unpacks to more than allowed");
      return -1;
    }
    *buffer = self->unpackedBuffer_.data();
    return got;
  }
};

TarGzReader::TarGzReader(std::istream& in, std::uint64_t maxUnpackedBytes)
    : in_(in),
      packed_(READ_BUFFER_BYTES),
      unpackedBuffer_(READ_BUFFER_BYTES),
      maxUnpacked_(maxUnpackedBytes),
      gzip_(archive_read_new()),
      tar_(archive_read_new()) {
  if (!gzip_ || !tar_) {
    archive_read_free(gzip_);
    archive_read_free(tar_);
    throw std::runtime_error("Cannot read an archive: out of memory");
  }
  std::string reason;
  archive_entry* raw = nullptr;
  bool opened =
      archive_read_support_filter_gzip(gzip_) == ARCHIVE_OK &&
      archive_read_support_format_raw(gzip_) == ARCHIVE_OK &&
      archive_read_open(gzip_, this, nullptr, &Callbacks::packed, nullptr) == ARCHIVE_OK &&
      archive_read_next_header(gzip_, &raw) == ARCHIVE_OK;
  if (!opened)
    reason = reasonOf(gzip_);
  // Without the gzip filter the stream would pass through as it is.
  bool gzip = opened && archive_filter_code(gzip_, 0) == ARCHIVE_FILTER_GZIP;
  if (gzip) {
    opened = archive_read_support_format_tar(tar_) == ARCHIVE_OK &&
             archive_read_open(tar_, this, nullptr, &Callbacks::unpacked, nullptr) == ARCHIVE_OK;
    if (!opened)
      reason = reasonOf(tar_);
  }
  if (!opened || !gzip) {
    archive_read_free(tar_);
    archive_read_free(gzip_);
    throw ArchiveError("The file is not a tar.gz archive, or it is damaged or truncated" +
                       (reason.empty() ? "" : ": " + reason));
  }
}

TarGzReader::~TarGzReader() {
  archive_read_free(tar_);
  archive_read_free(gzip_);
}

void TarGzReader::fail(const std::string& what) const {
  if (tooLarge_)
    throw ArchiveTooLarge("The archive unpacks to more than " + std::to_string(maxUnpacked_) +
                          " bytes");
  std::string reason = reasonOf(tar_);
  throw ArchiveError(what + (reason.empty() ? "" : ": " + reason));
}

void TarGzReader::readToEnd() {
  std::uint64_t padding = 0;
  while (true) {
    std::uint64_t room = std::min(maxUnpacked_ - unpacked_, MAX_PADDING_BYTES - padding);
    std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(unpackedBuffer_.size(), room + 1));
    la_ssize_t got = archive_read_data(gzip_, unpackedBuffer_.data(), wanted);
    if (got < 0) {
      std::string reason = reasonOf(gzip_);
      throw ArchiveError("The archive is damaged or truncated" +
                         (reason.empty() ? "" : ": " + reason));
    }
    if (got == 0)
      return;
    unpacked_ += static_cast<std::uint64_t>(got);
    padding += static_cast<std::uint64_t>(got);
    if (unpacked_ > maxUnpacked_) {
      tooLarge_ = true;
      fail("");
    }
    if (padding > MAX_PADDING_BYTES)
      throw ArchiveError("The archive goes on after its end: more than " +
                         std::to_string(MAX_PADDING_BYTES / 1024) + " KB follow it");
  }
}

std::optional<TarEntry> TarGzReader::next() {
  archive_entry* header = nullptr;
  int status = archive_read_next_header(tar_, &header);
  if (status == ARCHIVE_EOF) {
    readToEnd();
    return std::nullopt;
  }
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
  la_ssize_t got = archive_read_data(tar_, buffer, length);
  if (got < 0)
    fail("The archive is damaged or truncated");
  return static_cast<std::size_t>(got);
}

}  // namespace veltrano
