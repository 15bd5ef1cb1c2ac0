#pragma once

// Records: plain structs whose fields are listed once in a static field table,
//
//   struct PlayDesc {
//     std::string id = "NULL";
//     bool doRepeat = false;
//     static constexpr auto fields() {
//       return std::tuple{field("id", &PlayDesc::id), field("doRepeat", &PlayDesc::doRepeat)};
//     }
//   };
//
// The table drives the stored JSON form, decoding, equality, the content hash and the
// attribute map of HTTP answers, so adding a field is one member and one table entry.
// Declare fields() before any member function that compares values of the type: the
// concepts below are checked where the type is first compared.

#include "foundation/Json.hpp"
#include "foundation/JsonLimits.hpp"

#include <array>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

namespace veltrano {

// A stored or received JSON value that does not fit its record; the message names the member.
class DecodeError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

template <class Owner, class Member>
struct Field {
  const char* name;
  Member Owner::*member;
};

template <class Owner, class Member>
constexpr Field<Owner, Member> field(const char* name, Member Owner::*member) {
  return {name, member};
}

template <class T>
concept HasFieldTable = requires { T::fields(); };

// Value types stored as their own text (times, dates, lessons).
template <class T>
concept TextForm = requires(const T& value, std::string_view text) {
  { value.encode() } -> std::convertible_to<std::string>;
  { T::decode(text) } -> std::same_as<T>;
};

template <class T>
concept RecordType = HasFieldTable<T> && !TextForm<T>;

// Integer enumerations list their members with `constexpr std::array<E, N> enumValues(E)`.
template <class E>
concept IntegerEnum = std::is_enum_v<E> && requires(E e) { enumValues(e); };

template <class T>
struct Codec;

namespace detail {

inline void hashCombine(std::size_t& seed, std::size_t value) noexcept {
  seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

inline std::string memberPath(const std::string& parent, std::string_view name) {
  return parent.empty() ? std::string(name) : parent + "." + std::string(name);
}

inline std::string elementPath(const std::string& parent, std::size_t index) {
  return parent + "[" + std::to_string(index) + "]";
}

inline const char* jsonTypeName(const Json& value) noexcept {
  if (value.is_null()) return "null";
  if (value.is_boolean()) return "boolean";
  if (value.is_number_float()) return "number";
  if (value.is_number()) return "integer";
  if (value.is_string()) return "string";
  if (value.is_array()) return "array";
  return "object";
}

[[noreturn]] inline void throwDecode(const std::string& path, const std::string& problem) {
  throw DecodeError("Invalid value for member '" + (path.empty() ? std::string("(root)") : path) +
                    "': " + problem);
}

[[noreturn]] inline void throwWrongType(const std::string& path, const char* expected,
                                        const Json& got) {
  throwDecode(path, std::string("expected ") + expected + ", got " + jsonTypeName(got));
}

template <class T, class Visitor>
void forEachField(Visitor&& visit) {
  std::apply([&](const auto&... entries) { (visit(entries), ...); }, T::fields());
}

template <class T>
Json encodeFields(const T& value) {
  Json out = Json::object();
  // One allocation instead of one per doubling: a database answer builds millions of these.
  out.get_ref<Json::object_t&>().reserve(std::tuple_size_v<decltype(T::fields())>);
  forEachField<T>([&](const auto& entry) {
    using Member = std::remove_cvref_t<decltype(value.*(entry.member))>;
    out[entry.name] = Codec<Member>::encode(value.*(entry.member));
  });
  return out;
}

template <class T>
Json attributeFields(const T& value) {
  Json out = Json::object();
  forEachField<T>([&](const auto& entry) {
    using Member = std::remove_cvref_t<decltype(value.*(entry.member))>;
    out[entry.name] = Codec<Member>::attributes(value.*(entry.member));
  });
  return out;
}

template <class T>
std::size_t hashFields(const T& value) {
  std::size_t seed = std::tuple_size_v<decltype(T::fields())>;
  forEachField<T>([&](const auto& entry) {
    using Member = std::remove_cvref_t<decltype(value.*(entry.member))>;
    hashCombine(seed, Codec<Member>::hash(value.*(entry.member)));
  });
  return seed;
}

template <class T>
bool equalFields(const T& a, const T& b) {
  bool equal = true;
  forEachField<T>([&](const auto& entry) {
    if (equal && !(a.*(entry.member) == b.*(entry.member))) equal = false;
  });
  return equal;
}

}  // namespace detail

template <>
struct Codec<bool> {
  static Json encode(bool value) { return value; }
  static bool decode(const Json& json, const std::string& path) {
    if (!json.is_boolean()) detail::throwWrongType(path, "boolean", json);
    return json.get<bool>();
  }
  static std::size_t hash(bool value) noexcept { return std::hash<bool>{}(value); }
  static Json attributes(bool value) { return value; }
};

template <std::integral T>
struct Codec<T> {
  static Json encode(T value) { return value; }
  static T decode(const Json& json, const std::string& path) {
    if (json.is_number_integer()) {
      if (json.is_number_unsigned()) {
        auto v = json.get<unsigned long long>();
        if (v > static_cast<unsigned long long>(std::numeric_limits<T>::max())) {
          detail::throwDecode(path, "integer out of range");
        }
        return static_cast<T>(v);
      }
      auto v = json.get<long long>();
      if (v < static_cast<long long>(std::numeric_limits<T>::min()) ||
          v > static_cast<long long>(std::numeric_limits<T>::max())) {
        detail::throwDecode(path, "integer out of range");
      }
      return static_cast<T>(v);
    }
    if (json.is_number_float()) {
      double v = json.get<double>();
      // max() rounds up to a power of two as a double, so the upper bound must be exclusive.
      const double limit = std::ldexp(1.0, std::numeric_limits<T>::digits);
      if (std::trunc(v) == v && v >= static_cast<double>(std::numeric_limits<T>::min()) &&
          v < limit) {
        return static_cast<T>(v);
      }
    }
    detail::throwWrongType(path, "integer", json);
  }
  static std::size_t hash(T value) noexcept { return std::hash<T>{}(value); }
  static Json attributes(T value) { return value; }
};

template <std::floating_point T>
struct Codec<T> {
  static Json encode(T value) { return static_cast<double>(value); }
  static T decode(const Json& json, const std::string& path) {
    if (!json.is_number()) detail::throwWrongType(path, "number", json);
    return json.get<T>();
  }
  static std::size_t hash(T value) noexcept { return std::hash<T>{}(value); }
  static Json attributes(T value) { return static_cast<double>(value); }
};

template <>
struct Codec<std::string> {
  static Json encode(const std::string& value) { return value; }
  static std::string decode(const Json& json, const std::string& path) {
    if (!json.is_string()) detail::throwWrongType(path, "string", json);
    return json.get<std::string>();
  }
  static std::size_t hash(const std::string& value) noexcept {
    return std::hash<std::string>{}(value);
  }
  static Json attributes(const std::string& value) { return value; }
};

template <class T>
struct Codec<std::optional<T>> {
  static Json encode(const std::optional<T>& value) {
    return value ? Codec<T>::encode(*value) : Json(nullptr);
  }
  static std::optional<T> decode(const Json& json, const std::string& path) {
    if (json.is_null()) return std::nullopt;
    return Codec<T>::decode(json, path);
  }
  static std::size_t hash(const std::optional<T>& value) noexcept {
    std::size_t seed = value.has_value() ? 1 : 0;
    if (value) detail::hashCombine(seed, Codec<T>::hash(*value));
    return seed;
  }
  static Json attributes(const std::optional<T>& value) {
    return value ? Codec<T>::attributes(*value) : Json(nullptr);
  }
};

template <IntegerEnum E>
struct Codec<E> {
  using Underlying = std::underlying_type_t<E>;
  static Json encode(E value) { return static_cast<Underlying>(value); }
  static E decode(const Json& json, const std::string& path) {
    auto number = Codec<long long>::decode(json, path);
    for (E member : enumValues(E{})) {
      if (static_cast<long long>(member) == number) return member;
    }
    detail::throwDecode(path, std::to_string(number) + " is not a valid value");
  }
  static std::size_t hash(E value) noexcept { return std::hash<Underlying>{}(static_cast<Underlying>(value)); }
  static Json attributes(E value) { return static_cast<Underlying>(value); }
};

template <TextForm T>
struct Codec<T> {
  static Json encode(const T& value) { return value.encode(); }
  static T decode(const Json& json, const std::string& path) {
    if (!json.is_string()) detail::throwWrongType(path, "string", json);
    try {
      return T::decode(json.get_ref<const std::string&>());
    } catch (const DecodeError&) {
      throw;
    } catch (const std::exception& e) {
      std::string reason = e.what();
      detail::throwDecode(path, "\"" + json.get<std::string>() + "\"" +
                                    (reason.empty() ? "" : " (" + reason + ")"));
    }
  }
  static std::size_t hash(const T& value) {
    if constexpr (requires { { value.hashValue() } -> std::convertible_to<std::size_t>; }) {
      return value.hashValue();
    } else if constexpr (HasFieldTable<T>) {
      return detail::hashFields(value);
    } else {
      return std::hash<std::string>{}(value.encode());
    }
  }
  static Json attributes(const T& value) {
    if constexpr (HasFieldTable<T>) {
      return detail::attributeFields(value);
    } else {
      return value.encode();
    }
  }
};

template <RecordType T>
struct Codec<T> {
  static Json encode(const T& value) { return detail::encodeFields(value); }
  static T decode(const Json& json, const std::string& path) {
    if (!json.is_object()) detail::throwWrongType(path, "object", json);
    T result{};
    detail::forEachField<T>([&](const auto& entry) {
      auto found = json.find(entry.name);
      if (found == json.end() || found->is_null()) return;  // keep the default
      using Member = std::remove_cvref_t<decltype(result.*(entry.member))>;
      result.*(entry.member) = Codec<Member>::decode(*found, detail::memberPath(path, entry.name));
    });
    return result;
  }
  static std::size_t hash(const T& value) { return detail::hashFields(value); }
  static Json attributes(const T& value) { return detail::attributeFields(value); }
};

template <class T>
struct Codec<std::vector<T>> {
  static Json encode(const std::vector<T>& values) {
    Json out = Json::array();
    out.get_ref<Json::array_t&>().reserve(values.size());
    for (const auto& v : values) out.push_back(Codec<T>::encode(v));
    return out;
  }
  static std::vector<T> decode(const Json& json, const std::string& path) {
    if (!json.is_array()) detail::throwWrongType(path, "array", json);
    std::vector<T> out;
    out.reserve(json.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
      const auto& element = json[i];
      auto elementPath = detail::elementPath(path, i);
      if (element.is_null()) detail::throwWrongType(elementPath, "a value", element);
      out.push_back(Codec<T>::decode(element, elementPath));
    }
    return out;
  }
  static std::size_t hash(const std::vector<T>& values) {
    std::size_t seed = values.size();
    for (const auto& v : values) detail::hashCombine(seed, Codec<T>::hash(v));
    return seed;
  }
  static Json attributes(const std::vector<T>& values) {
    Json out = Json::array();
    for (const auto& v : values) out.push_back(Codec<T>::attributes(v));
    return out;
  }
};

// The stored JSON object of a record, members in field order.
template <RecordType T>
Json toDict(const T& record) {
  return Codec<T>::encode(record);
}

// The exact one-line text of the store files.
template <RecordType T>
std::string toJson(const T& record) {
  return toStoreText(toDict(record));
}

// Missing and null members take their defaults; unknown members are ignored.
template <RecordType T>
T fromDict(const Json& json) {
  return Codec<T>::decode(json, "");
}

// Text from outside, within the given limits: DecodeError when it is not valid JSON, passes a
// limit or does not fit the record.
template <RecordType T>
T fromJson(std::string_view text, const JsonLimits& limits = REQUEST_JSON_LIMITS) {
  Json parsed;
  try {
    parsed = parseJson(text, limits);
  } catch (const JsonInputError& e) {
    throw DecodeError(e.what());
  }
  return fromDict<T>(parsed);
}

// Changes whenever any field, element, key or order changes; stable within one run only.
template <RecordType T>
std::size_t contentHash(const T& record) {
  return Codec<T>::hash(record);
}

// Every field under its name, nested values as their own fields (dates as {"y", "m", "d"}).
template <class T>
Json toAttributeMap(const T& value) {
  return Codec<T>::attributes(value);
}

template <RecordType T>
bool operator==(const T& a, const T& b) {
  return detail::equalFields(a, b);
}

}  // namespace veltrano
