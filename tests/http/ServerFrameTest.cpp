#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "http/RawConnection.hpp"
#include "http/ResponseHeaders.hpp"
#include "http/ServerFixture.hpp"
#include "http/UploadHandlers.hpp"

namespace veltrano::test {
namespace {

using ServerFrameTest = ServerFixture;

void expectNoCacheHeaders(const httplib::Result& result, const std::string& what) {
  ASSERT_TRUE(result) << what;
  EXPECT_EQ(result->get_header_value("Cache-Control"),
            "no-store, no-cache, must-revalidate, max-age=0")
      << what;
  EXPECT_EQ(result->get_header_value("Pragma"), "no-cache") << what;
  EXPECT_EQ(result->get_header_value("Expires"), "0") << what;
  EXPECT_EQ(result->get_header_value_count("Cache-Control"), 1u) << what;
  EXPECT_EQ(result->get_header_value("X-Content-Type-Options"), "nosniff") << what;
  EXPECT_EQ(result->get_header_value("Referrer-Policy"), "same-origin") << what;
  EXPECT_EQ(result->get_header_value("Content-Security-Policy"), CONTENT_SECURITY_POLICY) << what;
}

TEST_F(ServerFrameTest, EveryAnswerCarriesTheNoCacheHeaders) {
  setPassword("secret");
  expectNoCacheHeaders(get("/whoami"), "200");
  expectNoCacheHeaders(get("/assets/app.js"), "static file");
  expectNoCacheHeaders(get("/"), "302");
  expectNoCacheHeaders(get("/db"), "400");
  expectNoCacheHeaders(get("/missing.css"), "404");
  expectNoCacheHeaders(post("/whoami", ""), "405");
  expectNoCacheHeaders(client_->Options("/db"), "OPTIONS");
}

TEST_F(ServerFrameTest, MethodsOutsideTheRouteTableAreNotAllowed) {
  auto post405 = post("/auth/logout", "");
  EXPECT_EQ(post405->status, 405);
  EXPECT_EQ(post405->get_header_value("Allow"), "GET, HEAD, OPTIONS");
  EXPECT_EQ(client_->Delete("/db")->status, 405);
  auto options = client_->Options("/upload");
  EXPECT_EQ(options->status, 200);
  EXPECT_EQ(options->get_header_value("Allow"), "GET, HEAD, OPTIONS, POST");
  auto head = client_->Head("/whoami");
  EXPECT_EQ(head->status, 200);
  EXPECT_TRUE(head->body.empty());
}

TEST_F(ServerFrameTest, AFailingHandlerAnswers500AndTheServerGoesOn) {
  // A file where the user data directory should be makes saving an upload fail.
  std::filesystem::remove_all(bundle_.userData());
  writeTextFile(bundle_.userData(), "in the way");
  auto failed = upload({{"file", "bytes", "x.wav", ""}});
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->status, 500);
  EXPECT_EQ(failed->body, "Internal Server Error");
  EXPECT_FALSE(failed->has_header("EXCEPTION_WHAT"));
  expectNoCacheHeaders(failed, "500");
  EXPECT_EQ(get("/whoami")->status, 200);
}

TEST_F(ServerFrameTest, AnIdleOrSlowClientBlocksNobody) {
  // A client that sent half a request and then went quiet.
  int slow = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port_));
  ASSERT_EQ(::connect(slow, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  std::string partial = "GET /whoami HTTP/1.1\r\nHost: x\r\n";
  ASSERT_EQ(::send(slow, partial.data(), partial.size(), 0), static_cast<ssize_t>(partial.size()));

  // And a browser's idle keep-alive connection.
  httplib::Client keepAlive("127.0.0.1", port_);
  keepAlive.set_keep_alive(true);
  ASSERT_EQ(keepAlive.Get("/whoami")->status, 200);

  auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(get("/api/get/status")->status, 200);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  ::close(slow);
}

TEST_F(ServerFrameTest, ManySlowConnectionsFromOneComputerLeaveTheServerToOthers) {
  // Half-sent heads, half-sent bodies and silent ones, all from one address.
  std::vector<std::unique_ptr<RawConnection>> slow;
  for (int i = 0; i < 100; ++i) {
    slow.push_back(std::make_unique<RawConnection>("127.0.0.2", port_));
    ASSERT_TRUE(slow.back()->connected());
    if (i < 33)
      slow.back()->send("GET /whoami HTTP/1.1\r\nHost: x\r\n");
    else if (i < 66)
      slow.back()->send("POST /auth/login HTTP/1.1\r\nContent-Length: 99\r\n\r\n{");
  }
  auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(get("/api/get/status")->status, 200);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));

  // That computer's connections beyond its share are told why and closed at once.
  RawConnection oneMore("127.0.0.2", port_);
  std::string answer = oneMore.receiveUntilClosed(std::chrono::seconds(3));
  EXPECT_EQ(answer.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << answer;
  EXPECT_NE(answer.find("Too many connections from this computer"), std::string::npos);
}

TEST_F(ServerFrameTest, OversizedBodiesAreRefused) {
  // The head goes out at once: a new connection has a second for its first byte, and a slow
  // (sanitized) client can take longer than that to prepare a body this big.
  RawConnection oversized("127.0.0.1", port_);
  ASSERT_TRUE(oversized.send("POST /db/settings/update HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                             std::to_string(MAX_UPLOAD_BYTES + 1) + "\r\n\r\n"));
  ASSERT_TRUE(oversized.send(std::string(MAX_UPLOAD_BYTES + 1, 'x')));
  EXPECT_EQ(oversized.receiveUntilClosed(std::chrono::seconds(3)).rfind("HTTP/1.1 413", 0), 0u);

  // A body without a length would be read until the client closes.
  RawConnection noLength("127.0.0.1", port_);
  noLength.send("POST /db/settings/update HTTP/1.1\r\nHost: x\r\n\r\n{");
  EXPECT_EQ(noLength.receiveUntilClosed(std::chrono::seconds(3)).rfind("HTTP/1.1 411", 0), 0u);
}

}  // namespace
}  // namespace veltrano::test
