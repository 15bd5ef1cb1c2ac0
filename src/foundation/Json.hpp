#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "foundation/IndexedMap.hpp"

namespace veltrano {

// Member order matters everywhere: stored files, HTTP answers and the dashboard rely on it.
// nlohmann::ordered_json keeps it too, but finds a member by a linear search.
using Json = nlohmann::basic_json<IndexedMap>;

// Compact JSON text with non-ASCII escaped. An invalid UTF-8 byte that slipped into a value
// becomes U+FFFD instead of failing the dump: one bad value must never stop a save or an answer.
std::string dumpReplacingInvalidUtf8(const Json& value);

// The one-line form of the store files: ", " and ": " separators, every non-ASCII character
// escaped as \uXXXX, floating-point numbers always with a fraction.
std::string toStoreText(const Json& value);

}  // namespace veltrano
