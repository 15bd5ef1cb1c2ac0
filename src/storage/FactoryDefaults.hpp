#pragma once

#include <array>
#include <string_view>

namespace veltrano {

// One built-in signal shipped in the asset directory.
struct BuiltInSignal {
  std::string_view name;
  std::string_view md5;
  std::string_view filename;
  int lengthSec;
  std::string_view id;
};

// In the order they are added to a fresh database.
extern const std::array<BuiltInSignal, 12> BUILT_IN_SIGNALS;

}  // namespace veltrano
