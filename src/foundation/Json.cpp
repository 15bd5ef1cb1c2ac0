#include "foundation/Json.hpp"

namespace veltrano {
namespace {

void appendScalar(const Json& value, std::string& out) {
  out += dumpReplacingInvalidUtf8(value);
}

void append(const Json& value, std::string& out) {
  if (value.is_object()) {
    out += '{';
    bool first = true;
    for (const auto& [name, member] : value.items()) {
      if (!first) out += ", ";
      first = false;
      appendScalar(Json(name), out);
      out += ": ";
      append(member, out);
    }
    out += '}';
  } else if (value.is_array()) {
    out += '[';
    bool first = true;
    for (const auto& element : value) {
      if (!first) out += ", ";
      first = false;
      append(element, out);
    }
    out += ']';
  } else {
    appendScalar(value, out);
  }
}

}  // namespace

std::string dumpReplacingInvalidUtf8(const Json& value) {
  return value.dump(-1, ' ', /*ensure_ascii=*/true, Json::error_handler_t::replace);
}

std::string toStoreText(const Json& value) {
  std::string out;
  append(value, out);
  return out;
}

}  // namespace veltrano
