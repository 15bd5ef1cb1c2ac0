#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace veltrano {

// Reads a text file's lines from the last to the first, a block at a time, so that finding
// the newest lines of a long file reads only them. A line longer than maxLineBytes is passed
// over without being held whole: memory stays within one block and one line.
class BackwardLineReader {
 public:
  // A missing or unreadable file has no lines.
  BackwardLineReader(const std::filesystem::path& file, std::size_t maxLineBytes);

  // The line before the last one returned, without its line break; nothing at the start of
  // the file. A line break that ends the file does not begin an empty last line.
  std::optional<std::string> previous();

 private:
  // Puts the block of the file before what is buffered in front of the buffer.
  void readBlockBefore();

  std::ifstream in_;
  const std::size_t maxLineBytes_;
  std::uint64_t unread_ = 0;  // the file's bytes before this offset are not read yet
  std::string buffer_;        // read, not yet returned: the bytes just after unread_
  bool done_ = false;
};

}  // namespace veltrano
