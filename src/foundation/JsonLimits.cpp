#include "foundation/JsonLimits.hpp"

#include <string>

namespace veltrano {
namespace {

// Builds the value as nlohmann's own parser does, counting as it goes; returning false
// stops the parse at once.
class BoundedBuilder {
 public:
  using number_integer_t = Json::number_integer_t;
  using number_unsigned_t = Json::number_unsigned_t;
  using number_float_t = Json::number_float_t;
  using string_t = Json::string_t;
  using binary_t = Json::binary_t;

  BoundedBuilder(Json& result, const JsonLimits& limits)
      : dom_(result, /*allow_exceptions=*/false), limits_(limits) {}

  const std::string& refusal() const noexcept { return refusal_; }

  bool null() { return counted() && dom_.null(); }
  bool boolean(bool value) { return counted() && dom_.boolean(value); }
  bool number_integer(number_integer_t value) { return counted() && dom_.number_integer(value); }
  bool number_unsigned(number_unsigned_t value) { return counted() && dom_.number_unsigned(value); }
  bool number_float(number_float_t value, const string_t& text) {
    return counted() && dom_.number_float(value, text);
  }
  bool string(string_t& value) { return counted() && shortEnough(value) && dom_.string(value); }
  bool binary(binary_t& value) { return counted() && dom_.binary(value); }
  bool key(string_t& name) { return shortEnough(name) && dom_.key(name); }
  bool start_object(std::size_t size) { return counted() && deeper() && dom_.start_object(size); }
  bool end_object() {
    --depth_;
    return dom_.end_object();
  }
  bool start_array(std::size_t size) { return counted() && deeper() && dom_.start_array(size); }
  bool end_array() {
    --depth_;
    return dom_.end_array();
  }

  template <class Exception>
  bool parse_error(std::size_t, const std::string&, const Exception& error) {
    std::string detail = error.what();
    // "[json.exception.parse_error.101] parse error at ..." without the library's tag
    if (auto tagEnd = detail.find("] ");
        detail.starts_with("[json.") && tagEnd != std::string::npos)
      detail.erase(0, tagEnd + 2);
    refusal_ = "The text is not valid JSON: " + detail;
    return false;
  }

 private:
  bool refuse(std::string reason) {
    refusal_ = std::move(reason);
    return false;
  }
  bool counted() {
    if (++values_ <= limits_.maxValues)
      return true;
    return refuse("The JSON holds more than " + std::to_string(limits_.maxValues) + " values");
  }
  bool deeper() {
    if (++depth_ <= limits_.maxDepth)
      return true;
    return refuse("The JSON nests deeper than " + std::to_string(limits_.maxDepth) + " levels");
  }
  bool shortEnough(const string_t& text) {
    if (text.size() <= limits_.maxStringBytes)
      return true;
    return refuse("The JSON holds a string longer than " + std::to_string(limits_.maxStringBytes) +
                  " bytes");
  }

  nlohmann::detail::json_sax_dom_parser<Json> dom_;
  const JsonLimits& limits_;
  std::size_t values_ = 0;
  std::size_t depth_ = 0;
  std::string refusal_;
};

}  // namespace

Json parseJson(std::string_view text, const JsonLimits& limits) {
  if (text.size() > limits.maxBytes)
    throw JsonInputError("The JSON is longer than " + std::to_string(limits.maxBytes) + " bytes");
  Json result;
  BoundedBuilder builder(result, limits);
  if (!Json::sax_parse(text, &builder)) {
    throw JsonInputError(builder.refusal().empty() ? "The text is not valid JSON"
                                                   : builder.refusal());
  }
  return result;
}

}  // namespace veltrano
