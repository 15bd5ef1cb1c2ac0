#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <variant>

namespace veltrano {

// The bytes of a reply that is neither text nor JSON, such as an announcement's audio.
struct RawBytes {
  std::string bytes;

  bool operator==(const RawBytes&) const = default;
};

// A reply body as its content type says: text (UTF-8), any JSON value, or raw bytes.
// Build it with std::in_place_type: text and JSON both convert from a string.
using ResponseBody = std::variant<std::string, nlohmann::json, RawBytes>;

// Decodes a body by its "Content-Type": "text/plain" gives text converted from the reply's
// charset to UTF-8 (invalid sequences become U+FFFD), "application/json" gives the parsed
// value (throws nlohmann::json::parse_error when it does not parse), anything else the raw
// bytes.
ResponseBody decodeResponseBody(std::string_view contentType, std::string body);

// The text itself, compact JSON, or "<N bytes>" for raw bytes: for the log and error texts.
std::string toText(const ResponseBody& body);

}  // namespace veltrano
