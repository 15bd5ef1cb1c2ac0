#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::fuzz {

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The input cut at every separator; the last piece takes the rest.
inline std::vector<std::string> split(std::string_view text, char separator, std::size_t pieces) {
  std::vector<std::string> out;
  while (out.size() + 1 < pieces) {
    auto at = text.find(separator);
    if (at == std::string_view::npos)
      break;
    out.emplace_back(text.substr(0, at));
    text.remove_prefix(at + 1);
  }
  out.emplace_back(text);
  out.resize(pieces);
  return out;
}

// A property that must hold for every input: stops the run with the input saved.
inline void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "Property broken: %s\n", what);
    std::abort();
  }
}

}  // namespace veltrano::fuzz
