#pragma once

#include <string>
#include <string_view>

#include "foundation/Json.hpp"
#include "storage/Database.hpp"

namespace veltrano {

// A settings change that names no field or brings a value of the wrong type.
class SettingsUpdateError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Applies {"dotted.field.path": value, ...} in member order to settings. Each path must name
// a field, through nested records only, and each value must decode as that field's type (null
// only for optional fields); otherwise SettingsUpdateError and settings is left as it was:
// every member is checked before any is applied.
void applySettingsUpdate(Settings& settings, const Json& changes);

}  // namespace veltrano
