#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "foundation/Json.hpp"

namespace veltrano {

// The bytes of a reply that is neither text nor JSON, such as an announcement's audio.
struct RawBytes {
  std::string bytes;

  bool operator==(const RawBytes&) const = default;
};

// A reply body as its content type says: text (UTF-8), any JSON value (members in the
// order received), or raw bytes.
// Build it with std::in_place_type: text and JSON both convert from a string.
using ResponseBody = std::variant<std::string, Json, RawBytes>;

// Decodes a body by its "Content-Type": "text/plain" gives text converted from the reply's
// charset to UTF-8 (invalid sequences become U+FFFD), "application/json" gives the parsed
// value (throws Json::parse_error when it does not parse or passes STORE_JSON_LIMITS),
// anything else the raw bytes.
ResponseBody decodeResponseBody(std::string_view contentType, std::string body);

// The text itself, compact JSON, or "<N bytes>" for raw bytes: for the log and error texts.
std::string toText(const ResponseBody& body);

}  // namespace veltrano
