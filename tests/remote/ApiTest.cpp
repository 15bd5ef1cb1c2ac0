#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "remote/Api.hpp"
#include "remote/ServiceStub.hpp"
#include "support/LogCapture.hpp"

namespace veltrano {
namespace {

using test::LogCapture;
using test::ServiceStub;

// Short enough that a time-out test stays well under a second.
ApiTimeouts fastTimeouts() {
  using std::chrono::milliseconds;
  return ApiTimeouts{milliseconds(500), milliseconds(150), milliseconds(500), milliseconds(150)};
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string errorText(const Api::Reply& reply) {
  return toText(reply.getError());
}

class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() /
                 ("veltrano-api-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  // The names in the download directory, to catch temporary files left behind.
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::filesystem::path directory_;
  ServiceStub stub_;
  Api api_{stub_.url(), fastTimeouts()};
};

TEST_F(ApiTest, PingSendsOperationAndVersionInOrder) {
  stub_.setCalendarVersion(3);
  LogCapture log;
  EXPECT_EQ(api_.networkState(), NetworkState::UNKNOWN);

  const auto reply = api_.ping("D1.2-3-gabc dirty");

  ASSERT_TRUE(reply.isOk()) << errorText(reply);
  EXPECT_EQ(std::get<Json>(reply.getValue()), (Json{{"calendarVersion", 3}}));
  EXPECT_EQ(api_.networkState(), NetworkState::OK);
  ASSERT_EQ(stub_.targets().size(), 1u);
  EXPECT_EQ(stub_.targets()[0], "/api/player/v1?c=ping&version=D1.2-3-gabc+dirty");
  EXPECT_EQ(log.lines(), std::vector<std::string>{R"(RESP 200 {"calendarVersion":3})"});
}

TEST_F(ApiTest, ParametersArriveIntact) {
  const std::string awkward = "a b+c&d=e/f?g#h%i \xC3\xA9";
  api_.get({{"c", "echo"}, {"x", awkward}});
  const auto received = stub_.params();
  ASSERT_EQ(received.size(), 1u);
  const auto& params = received[0];
  ASSERT_EQ(params.count("x"), 1u);
  EXPECT_EQ(params.find("x")->second, awkward);
  EXPECT_EQ(params.find("c")->second, "echo");
}

TEST_F(ApiTest, CalendarRegistry) {
  // Not in alphabetical order: the regions keep the service's order.
  const Json entries = {{"sk", {{"name", "Slovakia"}}},
                        {"hu", {{"name", "Hungary"}, {"holidays", {"2026-03-15"}}}}};
  stub_.setRegistry(entries, 6);

  const auto reply = api_.getCalendarRegistry();

  ASSERT_TRUE(reply.isOk()) << errorText(reply);
  const auto& body = std::get<Json>(reply.getValue());
  EXPECT_EQ(body, (Json{{"entries", entries}, {"version", 6}}));
  EXPECT_EQ(body["entries"].begin().key(), "sk");
  EXPECT_EQ(stub_.targets(), std::vector<std::string>{"/api/player/v1?c=getCalendarRegistry"});
}

TEST_F(ApiTest, ReplyStatusesAndContentTypes) {
  const struct {
    const char* name;
    ServiceStub::Reply reply;
    bool ok;
    ResponseBody body;
  } cases[] = {
      {"json with charset",
       {200, "application/json; charset=utf-8", R"({"a":[1,2]})", {}},
       true,
       ResponseBody(std::in_place_type<Json>, Json{{"a", {1, 2}}})},
      {"404 text",
       {404, "text/plain; charset=utf-8", "Not found", {}},
       false,
       ResponseBody(std::in_place_type<std::string>, "Not found")},
      {"500 json",
       {500, "application/json", R"({"error":"boom"})", {}},
       false,
       ResponseBody(std::in_place_type<Json>, Json{{"error", "boom"}})},
      {"200 text",
       {200, "text/plain", "pong", {}},
       true,
       ResponseBody(std::in_place_type<std::string>, "pong")},
      {"204 raw",
       {204, "application/octet-stream", "", {}},
       false,
       ResponseBody(std::in_place_type<RawBytes>, RawBytes{""})},
  };
  for (const auto& c : cases) {
    stub_.setReply("x", c.reply);
    const auto reply = api_.get({{"c", "x"}});
    ASSERT_EQ(reply.isOk(), c.ok) << c.name;
    EXPECT_EQ(c.ok ? reply.getValue() : reply.getError(), c.body) << c.name;
    // An HTTP reply of any status means the service is reachable.
    EXPECT_EQ(api_.networkState(), NetworkState::OK) << c.name;
  }
}

TEST_F(ApiTest, JsonThatDoesNotParseIsANetworkFailure) {
  stub_.setReply("ping", {200, "application/json", "<html>oops</html>", {}});
  LogCapture log;

  const auto reply = api_.ping("1.0");

  ASSERT_FALSE(reply.isOk());
  EXPECT_NE(errorText(reply).find("parse error"), std::string::npos) << errorText(reply);
  EXPECT_EQ(api_.networkState(), NetworkState::ERROR);
  EXPECT_TRUE(log.contains("Internet is unreachable"));
}

TEST_F(ApiTest, FollowsRedirects) {
  stub_.setReply("old",
                 {302, "text/plain", "moved", {{"Location", "/api/player/v1?c=ping&version=1"}}});
  stub_.setCalendarVersion(9);
  const auto reply = api_.get({{"c", "old"}});
  ASSERT_TRUE(reply.isOk()) << errorText(reply);
  EXPECT_EQ(std::get<Json>(reply.getValue()), (Json{{"calendarVersion", 9}}));
}

TEST(ApiFailures, ConnectionRefused) {
  Api api(ServiceStub::closedUrl(), fastTimeouts());
  LogCapture log;

  const auto reply = api.ping("1.0");

  ASSERT_FALSE(reply.isOk());
  EXPECT_NE(errorText(reply).find("could not connect"), std::string::npos) << errorText(reply);
  EXPECT_EQ(api.networkState(), NetworkState::ERROR);
  EXPECT_EQ(log.lines(), std::vector<std::string>{"Internet is unreachable"});
}

TEST(ApiFailures, SilentServiceIsEndedByTheReadTimeout) {
  ServiceStub stub;
  stub.setSilent(true);
  Api api(stub.url(), fastTimeouts());
  LogCapture log;

  const auto started = std::chrono::steady_clock::now();
  const auto reply = api.ping("1.0");
  const auto elapsed = std::chrono::steady_clock::now() - started;

  ASSERT_FALSE(reply.isOk());
  EXPECT_LT(elapsed, std::chrono::seconds(1));
  EXPECT_EQ(api.networkState(), NetworkState::ERROR);
  EXPECT_TRUE(log.contains("Internet is unreachable"));
}

TEST(ApiFailures, StateFollowsTheLatestRequest) {
  ServiceStub stub;
  Api api(stub.url(), fastTimeouts());
  LogCapture log;
  stub.setReply("ping", {200, "application/json", "{", {}});
  api.ping("1");
  EXPECT_EQ(api.networkState(), NetworkState::ERROR);
  stub.setReply("ping", {503, "text/plain", "busy", {}});
  api.ping("1");
  EXPECT_EQ(api.networkState(), NetworkState::OK);
}

TEST(ApiFailures, InvalidBaseUrlFailsEveryRequest) {
  Api api("localhost:5002", fastTimeouts());
  LogCapture log;
  const auto reply = api.getCalendarRegistry();
  ASSERT_FALSE(reply.isOk());
  EXPECT_EQ(errorText(reply), "Invalid service URL: localhost:5002");
  EXPECT_EQ(api.networkState(), NetworkState::ERROR);
  EXPECT_TRUE(log.contains("Internet is unreachable"));
}

TEST(ApiPaths, BaseUrlPathPrefixComesBeforeTheServicePath) {
  ServiceStub stub("/mirror");
  stub.setCalendarVersion(2);
  Api api(stub.url() + "/", fastTimeouts());
  const auto reply = api.ping("1");
  ASSERT_TRUE(reply.isOk()) << errorText(reply);
  EXPECT_EQ(stub.targets(), std::vector<std::string>{"/mirror/api/player/v1?c=ping&version=1"});
}

TEST_F(ApiTest, DownloadWritesTheAnnouncementBytes) {
  const std::string audio("ID3\x04\0\0\xFF\xFB\x90\x00", 10);
  stub_.setAnnouncement("a-1", audio);
  const auto path = directory_ / "announcement.mp3";
  writeText(path, "older announcement");

  const auto result = api_.downloadAnnouncement("a-1", path);

  ASSERT_TRUE(result.isOk()) << toText(result.getError());
  EXPECT_EQ(readFile(path), audio);
  EXPECT_EQ(files(), std::vector<std::string>{"announcement.mp3"});
  EXPECT_EQ(stub_.targets(),
            std::vector<std::string>{"/api/player/v1?c=downloadAnnouncement&id=a-1"});
}

TEST_F(ApiTest, FailedDownloadKeepsThePreviousFile) {
  const auto path = directory_ / "announcement.mp3";
  writeText(path, "older announcement");

  const auto missing = api_.downloadAnnouncement("nope", path);
  ASSERT_FALSE(missing.isOk());
  EXPECT_EQ(missing.getError(), ResponseBody(std::in_place_type<std::string>, "Not found"));

  stub_.setReply("downloadAnnouncement", {200, "application/json", R"({"id":"x"})", {}});
  const auto jsonReply = api_.downloadAnnouncement("x", path);
  ASSERT_FALSE(jsonReply.isOk());
  EXPECT_TRUE(toText(jsonReply.getError()).starts_with("Failed to write file: "));

  stub_.setReply("downloadAnnouncement", {200, "text/plain", "audio?", {}});
  EXPECT_FALSE(api_.downloadAnnouncement("x", path).isOk());

  stub_.setSilent(true);
  LogCapture log;
  const auto silent = api_.downloadAnnouncement("x", path);
  EXPECT_FALSE(silent.isOk());
  EXPECT_EQ(api_.networkState(), NetworkState::ERROR);

  EXPECT_EQ(readFile(path), "older announcement");
  EXPECT_EQ(files(), std::vector<std::string>{"announcement.mp3"});
}

TEST_F(ApiTest, DownloadToAnUnwritablePlaceIsAWriteFailure) {
  stub_.setAnnouncement("a-1", "bytes");
  const auto result = api_.downloadAnnouncement("a-1", directory_ / "missing" / "a-1.mp3");
  ASSERT_FALSE(result.isOk());
  EXPECT_TRUE(toText(result.getError()).starts_with("Failed to write file: "))
      << toText(result.getError());
  EXPECT_TRUE(files().empty());
  // The service answered; only the local write failed.
  EXPECT_EQ(api_.networkState(), NetworkState::OK);
}

TEST_F(ApiTest, HttpsRefusesAnUntrustedCertificate) {
  const auto key = directory_ / "key.pem";
  const auto certificate = directory_ / "cert.pem";
  const std::string command =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
      "-subj /CN=127.0.0.1 -keyout '" +
      key.string() + "' -out '" + certificate.string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) {
    GTEST_SKIP() << "openssl cannot make a test certificate";
  }
  httplib::SSLServer server(certificate.c_str(), key.c_str());
  ASSERT_TRUE(server.is_valid());
  server.Get("/api/player/v1", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(R"({"calendarVersion": 1})", "application/json");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { server.listen_after_bind(); });
  ServiceStub::waitUntilRunning(server);
  Api api("https://127.0.0.1:" + std::to_string(port), fastTimeouts());
  LogCapture log;

  const auto reply = api.ping("1");

  server.stop();
  thread.join();
  ASSERT_FALSE(reply.isOk());
  EXPECT_NE(errorText(reply).find("certificate"), std::string::npos) << errorText(reply);
  EXPECT_EQ(api.networkState(), NetworkState::ERROR);
}

}  // namespace
}  // namespace veltrano
