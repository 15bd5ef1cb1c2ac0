#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

struct archive;

namespace veltrano {

// Writes a gzip-compressed tar archive entry by entry and hands its bytes to a sink as they are
// made, so an archive of any size needs only a small buffer. Throws std::runtime_error when the
// archive cannot be made; whatever the sink throws stops the writing and reaches the caller.
// An archive left unfinished (an exception, or destruction before finish) gets no end marker,
// so a reader sees it as truncated.
class TarGzWriter {
 public:
  using Sink = std::function<void(std::string_view bytes)>;

  explicit TarGzWriter(Sink sink);
  ~TarGzWriter();
  TarGzWriter(const TarGzWriter&) = delete;
  TarGzWriter& operator=(const TarGzWriter&) = delete;

  // Starts a regular file of exactly size bytes, which follow through write().
  void beginFile(const std::string& name, std::uint64_t size, std::time_t modified);
  void write(std::string_view bytes);
  // A whole file at once.
  void addFile(const std::string& name, std::string_view content, std::time_t modified);
  // Ends the archive and hands the sink its last bytes.
  void finish();

 private:
  struct Callbacks;
  void check(int status, const std::string& what);

  Sink sink_;
  struct archive* archive_ = nullptr;
  std::exception_ptr sinkFailure_;
  bool aborted_ = false;        // no more bytes reach the sink
  std::uint64_t fileLeft_ = 0;  // bytes the current file still needs
};

}  // namespace veltrano
