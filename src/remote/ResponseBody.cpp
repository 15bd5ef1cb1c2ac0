#include "remote/ResponseBody.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <utility>

#include "foundation/JsonLimits.hpp"
#include "foundation/TextChecks.hpp"

namespace veltrano {
namespace {

std::string lowercase(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

// The charset parameter of a content type, lower case and unquoted; "" when absent.
std::string charsetOf(std::string_view contentType) {
  const std::string lower = lowercase(contentType);
  const auto at = lower.find("charset=");
  if (at == std::string::npos) {
    return "";
  }
  std::string value = lower.substr(at + 8);
  value = value.substr(0, value.find(';'));
  std::erase_if(value, [](char c) { return c == '"' || c == '\'' || c == ' ' || c == '\t'; });
  return value;
}

bool isLatin1(std::string_view charset) {
  return charset == "iso-8859-1" || charset == "latin1" || charset == "latin-1" ||
         charset == "iso_8859-1" || charset == "l1";
}

std::string latin1ToUtf8(std::string_view bytes) {
  std::string result;
  result.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      result += static_cast<char>(c);
    } else {
      result += static_cast<char>(0xC0 | (c >> 6));
      result += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return result;
}

// Length of the well-formed UTF-8 sequence starting at `at`, or 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(at);
  std::size_t length = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (lead < 0x80) {
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) {
      low = 0xA0;  // no overlong forms
    } else if (lead == 0xED) {
      high = 0x9F;  // no surrogates
    }
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) {
      low = 0x90;
    } else if (lead == 0xF4) {
      high = 0x8F;  // nothing above U+10FFFF
    }
  } else {
    return 0;
  }
  if (at + length > text.size()) {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint8_t next = byte(at + i);
    const std::uint8_t min = i == 1 ? low : std::uint8_t{0x80};
    const std::uint8_t max = i == 1 ? high : std::uint8_t{0xBF};
    if (next < min || next > max) {
      return 0;
    }
  }
  return length;
}

// Keeps valid UTF-8 and replaces each invalid byte by U+FFFD, so the text can go into JSON.
std::string sanitizeUtf8(std::string text) {
  std::size_t at = 0;
  while (at < text.size() && utf8SequenceLength(text, at) != 0) {
    at += utf8SequenceLength(text, at);
  }
  if (at == text.size()) {
    return text;
  }
  std::string result = text.substr(0, at);
  while (at < text.size()) {
    const std::size_t length = utf8SequenceLength(text, at);
    if (length == 0) {
      result += "\xEF\xBF\xBD";
      ++at;
    } else {
      result.append(text, at, length);
      at += length;
    }
  }
  return result;
}

// The body in UTF-8: latin-1 is converted, UTF-8 (also when no charset is named) is kept.
std::string toUtf8(std::string_view contentType, std::string body) {
  if (isLatin1(charsetOf(contentType))) {
    return latin1ToUtf8(body);
  }
  return sanitizeUtf8(std::move(body));
}

}  // namespace

ResponseBody decodeResponseBody(std::string_view contentType, std::string body) {
  const std::string type = lowercase(contentType);
  if (type.find("text/plain") != std::string::npos) {
    return ResponseBody(std::in_place_type<std::string>, toUtf8(contentType, std::move(body)));
  }
  if (type.find("application/json") != std::string::npos) {
    // Copying or dumping a parsed value recurses with its depth: a deep reply would overflow
    // the stack once it is logged or cached. A reply becomes the cache file, so it has a
    // store's limits.
    Json parsed;
    try {
      parsed = parseJson(toUtf8(contentType, std::move(body)), STORE_JSON_LIMITS);
    } catch (const JsonInputError& e) {
      throw Json::parse_error::create(101, 0, e.what(), nullptr);
    }
    return ResponseBody(std::in_place_type<Json>, std::move(parsed));
  }
  return ResponseBody(std::in_place_type<RawBytes>, RawBytes{std::move(body)});
}

std::string toText(const ResponseBody& body) {
  if (const auto* text = std::get_if<std::string>(&body)) {
    return *text;
  }
  if (const auto* json = std::get_if<Json>(&body)) {
    return json->dump(-1, ' ', false, Json::error_handler_t::replace);
  }
  return "<" + std::to_string(std::get<RawBytes>(body).bytes.size()) + " bytes>";
}

}  // namespace veltrano
