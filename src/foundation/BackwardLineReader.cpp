#include "foundation/BackwardLineReader.hpp"

#include <algorithm>
#include <system_error>

namespace veltrano {
namespace {

constexpr std::size_t BLOCK_BYTES = 64 * 1024;

}  // namespace

BackwardLineReader::BackwardLineReader(const std::filesystem::path& file, std::size_t maxLineBytes)
    : in_(file, std::ios::binary), maxLineBytes_(maxLineBytes) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  if (!in_ || error || size == 0) {
    done_ = true;
    return;
  }
  unread_ = size;
  readBlockBefore();
  if (!buffer_.empty() && buffer_.back() == '\n')
    buffer_.pop_back();
}

void BackwardLineReader::readBlockBefore() {
  const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(unread_, BLOCK_BYTES));
  std::string block(count, '\0');
  in_.seekg(static_cast<std::streamoff>(unread_ - count));
  if (!in_.read(block.data(), static_cast<std::streamsize>(count))) {
    // Cut short or unreadable: what is left counts as the start of the file.
    unread_ = 0;
    return;
  }
  unread_ -= count;
  buffer_.insert(0, block);
}

std::optional<std::string> BackwardLineReader::previous() {
  bool skipping = false;  // inside a line too long to return
  while (!done_) {
    const std::size_t lineBreak = buffer_.rfind('\n');
    if (lineBreak != std::string::npos) {
      std::string line = buffer_.substr(lineBreak + 1);
      buffer_.resize(lineBreak);
      if (!skipping && line.size() <= maxLineBytes_)
        return line;
      skipping = false;
      continue;
    }
    if (unread_ == 0) {
      done_ = true;
      if (!skipping && buffer_.size() <= maxLineBytes_)
        return std::move(buffer_);
      return std::nullopt;
    }
    if (buffer_.size() > maxLineBytes_) {
      skipping = true;
      buffer_.clear();
    }
    readBlockBefore();
  }
  return std::nullopt;
}

}  // namespace veltrano
