#pragma once

#include <cstddef>
#include <stdexcept>
#include <string_view>

#include "foundation/Json.hpp"
#include "foundation/TextChecks.hpp"

namespace veltrano {

// Bounds on JSON from outside. Every value counts towards maxValues: scalars, arrays and
// objects alike (member names do not), so memory stays in proportion to it.
struct JsonLimits {
  std::size_t maxBytes = 16 * 1024 * 1024;  // the whole text
  std::size_t maxDepth = MAX_JSON_DEPTH;    // nested arrays and objects
  std::size_t maxValues = 200'000;
  std::size_t maxStringBytes = 1024 * 1024;  // each string and each member name
};

// Request bodies and other small messages.
inline constexpr JsonLimits REQUEST_JSON_LIMITS{};
// Store files and the stores of a backup: the largest database we accept (10,000 timetables,
// 100,000 calendar events) stays well within these.
inline constexpr JsonLimits STORE_JSON_LIMITS{.maxBytes = 128 * 1024 * 1024,
                                              .maxDepth = MAX_JSON_DEPTH,
                                              .maxValues = 8'000'000,
                                              .maxStringBytes = 1024 * 1024};

// JSON text refused: not valid JSON (also a number beyond double's range), or beyond a limit.
// The message says which, fit to answer a client with.
class JsonInputError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Parses JSON from outside in time and memory linear in its size, stopping at the first
// limit it passes. Throws JsonInputError.
Json parseJson(std::string_view text, const JsonLimits& limits = REQUEST_JSON_LIMITS);

}  // namespace veltrano
