#include <gtest/gtest.h>

#include <string>

#include "remote/ResponseBody.hpp"

namespace veltrano {
namespace {

TEST(ResponseBody, DecodedByContentType) {
  const struct {
    const char* contentType;
    std::string bytes;
    ResponseBody expected;
  } cases[] = {
      {"text/plain", "Not found", ResponseBody(std::in_place_type<std::string>, "Not found")},
      {"text/plain; charset=utf-8", "\xC3\xA9t\xC3\xA9",
       ResponseBody(std::in_place_type<std::string>, "\xC3\xA9t\xC3\xA9")},
      {"Text/Plain; Charset=\"ISO-8859-1\"", "\xE9t\xE9",
       ResponseBody(std::in_place_type<std::string>, "\xC3\xA9t\xC3\xA9")},
      {"text/plain",
       "a\xFF"
       "b\xC3",
       ResponseBody(std::in_place_type<std::string>,
                    "a\xEF\xBF\xBD"
                    "b\xEF\xBF\xBD")},
      {"application/json", R"({"calendarVersion": 3})",
       ResponseBody(std::in_place_type<Json>, Json{{"calendarVersion", 3}})},
      {"application/json; charset=utf-8", "[1, \"x\"]",
       ResponseBody(std::in_place_type<Json>, Json::array({1, "x"}))},
      {"application/json", "\"\xC3\xA9\"", ResponseBody(std::in_place_type<Json>, "\xC3\xA9")},
      {"application/json", "null", ResponseBody(std::in_place_type<Json>, nullptr)},
      {"audio/mpeg", std::string("ID3\0\xFF", 5),
       ResponseBody(std::in_place_type<RawBytes>, RawBytes{std::string("ID3\0\xFF", 5)})},
      {"", "x", ResponseBody(std::in_place_type<RawBytes>, RawBytes{"x"})},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decodeResponseBody(c.contentType, c.bytes), c.expected) << c.contentType;
  }
}

TEST(ResponseBody, JsonThatDoesNotParseFails) {
  const std::string tooDeep = std::string(33, '[') + std::string(33, ']');
  for (std::string bytes : {"", "{", "<html>", "{\"a\": 1} trailing", tooDeep.c_str()}) {
    EXPECT_THROW(decodeResponseBody("application/json", bytes), Json::parse_error) << bytes;
  }
}

TEST(ResponseBody, TextForm) {
  EXPECT_EQ(toText(ResponseBody(std::in_place_type<std::string>, "Not found")), "Not found");
  EXPECT_EQ(toText(ResponseBody(std::in_place_type<Json>, Json{{"entries", Json::object()}})),
            R"({"entries":{}})");
  EXPECT_EQ(toText(ResponseBody(std::in_place_type<RawBytes>, RawBytes{std::string(1024, 'x')})),
            "<1024 bytes>");
}

}  // namespace
}  // namespace veltrano
