#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace veltrano {

// Member order matters everywhere: stored files, HTTP answers and the dashboard rely on it.
using Json = nlohmann::ordered_json;

// The one-line form of the store files: ", " and ": " separators, every non-ASCII character
// escaped as \uXXXX, floating-point numbers always with a fraction.
std::string toStoreText(const Json& value);

}  // namespace veltrano
