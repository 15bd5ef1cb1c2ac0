#include "foundation/TarGzWriter.hpp"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <stdexcept>

namespace veltrano {

struct TarGzWriter::Callbacks {
  static la_ssize_t write(struct archive*, void* client, const void* buffer,
                          size_t length) noexcept {
    auto* self = static_cast<TarGzWriter*>(client);
    if (self->aborted_)
      return -1;
    try {
      self->sink_(std::string_view(static_cast<const char*>(buffer), length));
      return static_cast<la_ssize_t>(length);
    } catch (...) {
      self->sinkFailure_ = std::current_exception();
      self->aborted_ = true;
      return -1;
    }
  }
};

namespace {

struct EntryDeleter {
  void operator()(archive_entry* entry) const noexcept { archive_entry_free(entry); }
};

}  // namespace

TarGzWriter::TarGzWriter(Sink sink) : sink_(std::move(sink)), archive_(archive_write_new()) {
  if (!archive_)
    throw std::runtime_error("Cannot make an archive: out of memory");
  try {
    check(archive_write_add_filter_gzip(archive_), "Cannot compress the archive");
    check(archive_write_set_format_pax_restricted(archive_), "Cannot make a tar archive");
    // No padding of the last block: the archive ends where its content does.
    check(archive_write_set_bytes_in_last_block(archive_, 1), "Cannot make a tar archive");
    check(archive_write_open(archive_, this, nullptr, &Callbacks::write, nullptr),
          "Cannot start the archive");
  } catch (...) {
    archive_write_free(archive_);
    throw;
  }
}

TarGzWriter::~TarGzWriter() {
  // Whatever is missing stays missing: no end marker for an unfinished archive.
  aborted_ = true;
  archive_write_free(archive_);
}

void TarGzWriter::check(int status, const std::string& what) {
  if (status == ARCHIVE_OK)
    return;
  aborted_ = true;
  if (sinkFailure_)
    std::rethrow_exception(sinkFailure_);
  const char* reason = archive_error_string(archive_);
  throw std::runtime_error(what + (reason ? std::string(": ") + reason : std::string()));
}

void TarGzWriter::beginFile(const std::string& name, std::uint64_t size, std::time_t modified) {
  if (fileLeft_ != 0)
    throw std::logic_error("The previous archive entry is not complete");
  std::unique_ptr<archive_entry, EntryDeleter> entry(archive_entry_new());
  if (!entry)
    throw std::runtime_error("Cannot make an archive entry: out of memory");
  archive_entry_set_pathname_utf8(entry.get(), name.c_str());
  archive_entry_set_filetype(entry.get(), AE_IFREG);
  archive_entry_set_perm(entry.get(), 0644);
  archive_entry_set_size(entry.get(), static_cast<la_int64_t>(size));
  archive_entry_set_mtime(entry.get(), modified, 0);
  check(archive_write_header(archive_, entry.get()), "Cannot add " + name + " to the archive");
  fileLeft_ = size;
}

void TarGzWriter::write(std::string_view bytes) {
  if (bytes.size() > fileLeft_)
    throw std::logic_error("More bytes than the archive entry declared");
  while (!bytes.empty()) {
    la_ssize_t written = archive_write_data(archive_, bytes.data(), bytes.size());
    if (written <= 0)
      check(ARCHIVE_FATAL, "Cannot write to the archive");
    bytes.remove_prefix(static_cast<std::size_t>(written));
    fileLeft_ -= static_cast<std::uint64_t>(written);
  }
}

void TarGzWriter::addFile(const std::string& name, std::string_view content, std::time_t modified) {
  beginFile(name, content.size(), modified);
  write(content);
}

void TarGzWriter::finish() {
  if (fileLeft_ != 0)
    throw std::logic_error("The last archive entry is not complete");
  check(archive_write_close(archive_), "Cannot end the archive");
}

}  // namespace veltrano
