#include "http/SettingsUpdate.hpp"

#include <optional>
#include <span>
#include <type_traits>
#include <vector>

namespace veltrano {
namespace {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

std::vector<std::string> splitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    auto dot = path.find('.', start);
    parts.emplace_back(path.substr(start, dot - start));
    if (dot == std::string_view::npos)
      break;
    start = dot + 1;
  }
  return parts;
}

template <RecordType T>
void assign(T& record, std::span<const std::string> parts, const Json& value,
            const std::string& path) {
  bool found = false;
  detail::forEachField<T>([&](const auto& entry) {
    if (found || parts.front() != entry.name)
      return;
    found = true;
    auto& member = record.*(entry.member);
    using Member = std::remove_cvref_t<decltype(member)>;
    if (parts.size() == 1) {
      if (value.is_null() && !IsOptional<Member>::value) {
        throw SettingsUpdateError("Invalid value for setting '" + path + "': null is not allowed");
      }
      try {
        member = Codec<Member>::decode(value, path);
      } catch (const DecodeError& e) {
        throw SettingsUpdateError(e.what());
      }
    } else if constexpr (RecordType<Member>) {
      assign(member, parts.subspan(1), value, path);
    } else {
      throw SettingsUpdateError("Unknown setting: " + path);
    }
  });
  if (!found)
    throw SettingsUpdateError("Unknown setting: " + path);
}

}  // namespace

void applySettingsUpdate(Settings& settings, const Json& changes) {
  if (!changes.is_object()) {
    throw SettingsUpdateError("The settings update must be a JSON object");
  }
  Settings updated = settings;
  for (const auto& [path, value] : changes.items()) {
    assign(updated, splitPath(path), value, path);
  }
  if (std::string problem = updated.alerts.problem(); !problem.empty())
    throw SettingsUpdateError(problem);
  settings = std::move(updated);
}

}  // namespace veltrano
