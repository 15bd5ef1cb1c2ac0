#include <gtest/gtest.h>

#include <stdexcept>

#include "remote/ServiceUrl.hpp"

namespace veltrano {
namespace {

TEST(ServiceUrl, BaseUrlSelection) {
  const struct {
    bool isRelease;
    std::optional<std::string_view> environment;
    std::string_view expected;
  } cases[] = {
      {false, std::nullopt, "http://localhost:5002"},
      {false, "https://mirror.example", "http://localhost:5002"},
      {true, std::nullopt, RELEASE_SERVICE_URL},
      {true, "", RELEASE_SERVICE_URL},
      {true, "https://mirror.example", "https://mirror.example"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(selectServiceBaseUrl(c.isRelease, c.environment), c.expected)
        << c.isRelease << " " << c.environment.value_or("(unset)");
  }
  EXPECT_TRUE(RELEASE_SERVICE_URL.starts_with("https://"));
}

TEST(ServiceUrl, ParsesSchemeHostPortAndPrefix) {
  const struct {
    const char* url;
    ServiceUrl expected;
    const char* origin;
  } cases[] = {
      {"http://localhost:5002", {"http", "localhost", 5002, ""}, "http://localhost:5002"},
      {"https://service.example",
       {"https", "service.example", 443, ""},
       "https://service.example:443"},
      {"http://service.example/", {"http", "service.example", 80, ""}, "http://service.example:80"},
      {"HTTPS://Host.example:8443/mirror/v2//",
       {"https", "Host.example", 8443, "/mirror/v2"},
       "https://Host.example:8443"},
      {"http://[::1]:5002/x", {"http", "::1", 5002, "/x"}, "http://[::1]:5002"},
      {"http://127.0.0.1", {"http", "127.0.0.1", 80, ""}, "http://127.0.0.1:80"},
  };
  for (const auto& c : cases) {
    const ServiceUrl parsed = parseServiceUrl(c.url);
    EXPECT_EQ(parsed, c.expected) << c.url;
    EXPECT_EQ(parsed.origin(), c.origin) << c.url;
  }
}

TEST(ServiceUrl, RejectsWhatIsNotABaseUrl) {
  for (const char* url : {"", "localhost:5002", "ftp://host", "http://", "http://:80",
                          "http://host:", "http://host:0", "http://host:65536", "http://host:12ab",
                          "http://user@host", "http://host/a?b=1", "http://host/#x", "http://ho st",
                          "http://[::1", "http://::1:80", "http://host/a b"}) {
    try {
      parseServiceUrl(url);
      ADD_FAILURE() << "accepted " << url;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Invalid service URL: ") + url);
    }
  }
}

TEST(ServiceUrl, QueryEncoding) {
  const struct {
    const char* text;
    const char* encoded;
  } cases[] = {
      {"ping", "ping"},
      {"AZaz09-._~", "AZaz09-._~"},
      {"a b", "a+b"},
      {"a+b&c=d", "a%2Bb%26c%3Dd"},
      {"1.2/3?#%", "1.2%2F3%3F%23%25"},
      {"\xC3\xA9", "%C3%A9"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(urlEncode(c.text), c.encoded) << c.text;
  }
  EXPECT_EQ(encodeQuery({{"c", "ping"}, {"version", "D1.0 dirty"}, {"a", "&"}}),
            "c=ping&version=D1.0+dirty&a=%26");
  EXPECT_EQ(encodeQuery({{"z", "1"}, {"a", "2"}}), "z=1&a=2");
}

}  // namespace
}  // namespace veltrano
