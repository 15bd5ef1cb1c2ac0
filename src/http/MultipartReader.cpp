#include "http/MultipartReader.hpp"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace veltrano {
namespace {

// A part's head longer than this is not a browser's form.
constexpr std::size_t MAX_PART_HEAD = 8 * 1024;
constexpr std::size_t MAX_BOUNDARY = 200;

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

// The value of name=value or name="value" among the ";"-separated parameters of a header.
std::optional<std::string> parameterOf(std::string_view header, std::string_view name) {
  std::size_t begin = 0;
  while (begin <= header.size()) {
    std::size_t end = header.find(';', begin);
    // A quoted value may hold a ';'.
    std::string_view item = trimmed(
        header.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
    if (startsWithIgnoringCase(item, name) && item.size() > name.size() &&
        item[name.size()] == '=') {
      std::string_view value = trimmed(item.substr(name.size() + 1));
      if (!value.empty() && value.front() == '"') {
        std::size_t valueStart = begin + (header.substr(begin).find('"')) + 1;
        std::size_t close = header.find('"', valueStart);
        if (close == std::string_view::npos)
          return std::nullopt;
        return std::string(header.substr(valueStart, close - valueStart));
      }
      return std::string(value);
    }
    if (end == std::string_view::npos)
      break;
    begin = end + 1;
  }
  return std::nullopt;
}

}  // namespace

MultipartReader::MultipartReader(std::string boundary, PartBegins onPart, PartContent onContent)
    : dashBoundary_("--" + boundary),
      delimiter_("\r\n--" + boundary),
      onPart_(std::move(onPart)),
      onContent_(std::move(onContent)) {}

std::optional<std::string> MultipartReader::boundaryOf(std::string_view contentType) {
  if (!startsWithIgnoringCase(trimmed(contentType), "multipart/form-data"))
    return std::nullopt;
  auto boundary = parameterOf(contentType, "boundary");
  if (!boundary || boundary->empty() || boundary->size() > MAX_BOUNDARY)
    return std::nullopt;
  return boundary;
}

bool MultipartReader::feed(std::string_view bytes) {
  if (state_ == State::FAILED)
    return false;
  if (state_ == State::END)
    return true;  // the epilogue is ignored
  pending_.append(bytes);
  while (step()) {
  }
  return state_ != State::FAILED;
}

// One move forward on what is pending; false when more input is needed or the form ended.
bool MultipartReader::step() {
  switch (state_) {
    case State::PREAMBLE: {
      std::size_t found = pending_.find(dashBoundary_);
      if (found == std::string::npos) {
        // Keep only what could still begin the boundary.
        if (pending_.size() > dashBoundary_.size())
          pending_.erase(0, pending_.size() - dashBoundary_.size());
        return false;
      }
      pending_.erase(0, found + dashBoundary_.size());
      state_ = State::AFTER_BOUNDARY;
      return true;
    }
    case State::AFTER_BOUNDARY: {
      if (pending_.size() < 2)
        return false;
      if (pending_.compare(0, 2, "--") == 0) {
        state_ = State::END;
        pending_.clear();
        return false;
      }
      // Blanks may follow a boundary before its line ends.
      std::size_t lineEnd = pending_.find("\r\n");
      if (lineEnd == std::string::npos) {
        if (pending_.size() > MAX_PART_HEAD)
          state_ = State::FAILED;
        return false;
      }
      if (!trimmed(std::string_view(pending_).substr(0, lineEnd)).empty()) {
        state_ = State::FAILED;
        return false;
      }
      pending_.erase(0, lineEnd + 2);
      state_ = State::PART_HEAD;
      return true;
    }
    case State::PART_HEAD: {
      // A part may have no head lines at all.
      std::size_t end = pending_.starts_with("\r\n") ? 0 : pending_.find("\r\n\r\n");
      if (end == std::string::npos) {
        if (pending_.size() > MAX_PART_HEAD)
          state_ = State::FAILED;
        return false;
      }
      bool accepted = readPartHead(std::string_view(pending_).substr(0, end));
      pending_.erase(0, end == 0 ? 2 : end + 4);
      state_ = accepted ? State::CONTENT : State::FAILED;
      return accepted;
    }
    case State::CONTENT: {
      std::size_t found = pending_.find(delimiter_);
      if (found == std::string::npos) {
        // All but what could still begin the delimiter is content.
        if (pending_.size() >= delimiter_.size()) {
          std::size_t safe = pending_.size() - (delimiter_.size() - 1);
          if (!onContent_(std::string_view(pending_).substr(0, safe))) {
            state_ = State::FAILED;
            return false;
          }
          pending_.erase(0, safe);
        }
        return false;
      }
      if (found > 0 && !onContent_(std::string_view(pending_).substr(0, found))) {
        state_ = State::FAILED;
        return false;
      }
      pending_.erase(0, found + delimiter_.size());
      state_ = State::AFTER_BOUNDARY;
      return true;
    }
    case State::END:
    case State::FAILED:
      return false;
  }
  return false;
}

bool MultipartReader::readPartHead(std::string_view head) {
  FormPart part;
  std::size_t begin = 0;
  while (begin < head.size()) {
    std::size_t end = head.find("\r\n", begin);
    std::string_view line =
        head.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
    begin = end == std::string_view::npos ? head.size() : end + 2;
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
      return false;
    std::string_view name = trimmed(line.substr(0, colon));
    std::string_view value = trimmed(line.substr(colon + 1));
    if (startsWithIgnoringCase(name, "Content-Disposition") &&
        name.size() == std::string_view("Content-Disposition").size()) {
      if (!startsWithIgnoringCase(value, "form-data"))
        return false;
      auto fieldName = parameterOf(value, "name");
      if (!fieldName)
        return false;
      part.name = *fieldName;
      part.filename = parameterOf(value, "filename").value_or("");
    } else if (startsWithIgnoringCase(name, "Content-Type") &&
               name.size() == std::string_view("Content-Type").size()) {
      part.contentType = std::string(value);
    }
  }
  return onPart_(part);
}

FormParts readMultipartForm(std::string_view contentType, std::string_view body) {
  auto boundary = MultipartReader::boundaryOf(contentType);
  if (!boundary)
    throw std::invalid_argument("The form has no boundary");
  FormParts parts;
  FormPart* current = nullptr;
  MultipartReader reader(
      *boundary,
      [&](const FormPart& part) {
        current = &parts.emplace(part.name, part)->second;
        return true;
      },
      [&](std::string_view bytes) {
        current->content.append(bytes);
        return true;
      });
  if (!reader.feed(body) || !reader.complete())
    throw std::invalid_argument("The form is incomplete or malformed");
  return parts;
}

}  // namespace veltrano
