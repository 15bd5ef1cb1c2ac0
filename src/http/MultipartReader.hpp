#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "http/HttpMessage.hpp"

namespace veltrano {

// Reads a multipart/form-data body as it arrives, in memory bounded by the boundary and a
// part's head, whatever the size of the parts.
class MultipartReader {
 public:
  // A new part begins (its content empty); false refuses the form.
  using PartBegins = std::function<bool(const FormPart& part)>;
  // More of the current part's content; false refuses the form.
  using PartContent = std::function<bool(std::string_view bytes)>;

  MultipartReader(std::string boundary, PartBegins onPart, PartContent onContent);

  // The boundary that a multipart/form-data content type names, if it names one.
  static std::optional<std::string> boundaryOf(std::string_view contentType);

  // False once the body is malformed or a handler refused it; nothing more is read then.
  bool feed(std::string_view bytes);
  // True once the closing boundary has been read.
  bool complete() const noexcept { return state_ == State::END; }

 private:
  enum class State { PREAMBLE, PART_HEAD, CONTENT, AFTER_BOUNDARY, END, FAILED };

  bool step();
  bool readPartHead(std::string_view head);

  std::string dashBoundary_;  // "--" boundary
  std::string delimiter_;     // "\r\n--" boundary
  PartBegins onPart_;
  PartContent onContent_;
  State state_ = State::PREAMBLE;
  std::string pending_;
};

// Every part of a complete multipart body held in memory; std::invalid_argument when the body
// is not a complete form.
FormParts readMultipartForm(std::string_view contentType, std::string_view body);

}  // namespace veltrano
