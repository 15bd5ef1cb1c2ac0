#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "http/RawConnection.hpp"
#include "http/ServerFixture.hpp"

namespace veltrano::test {
namespace {

using namespace std::chrono_literals;

constexpr auto WAIT = 5s;

class LiveEventsTest : public ServerFixture {
 protected:
  // A browser's event stream; what it has received so far is in received_.
  std::unique_ptr<RawConnection> openStream(const std::string& cookie = "") {
    auto stream = std::make_unique<RawConnection>("127.0.0.1", port_);
    std::string head = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!cookie.empty())
      head += "Cookie: " + cookie + "\r\n";
    EXPECT_TRUE(stream->send(head + "\r\n"));
    return stream;
  }

  // Whether the stream brings all the texts, in any order, within WAIT; what came since the
  // last call up to the last of them goes to seen_.
  bool brings(const std::unique_ptr<RawConnection>& stream, std::vector<std::string> texts) {
    auto deadline = std::chrono::steady_clock::now() + WAIT;
    std::size_t end = mark_;
    for (const auto& text : texts) {
      std::size_t at;
      while ((at = received_.find(text, mark_)) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline)
          return false;
        received_ += stream->receiveUntil(text, 100ms);
      }
      end = std::max(end, at + text.size());
    }
    seen_ = received_.substr(mark_, end - mark_);
    mark_ = end;
    return true;
  }

  std::string received_;
  std::size_t mark_ = 0;
  std::string seen_;
};

TEST_F(LiveEventsTest, StreamTellsTheStateThenEveryChangeAndKeepsAlive) {
  server_.setLiveEventTiming({.sample = 20ms, .heartbeat = 300ms});
  // The alarm sounds once, then waits in its pause.
  stores_.lock().db().settings.alarmDelaySec = 1;
  pause_.hold(true);
  auto stream = openStream();
  ASSERT_TRUE(brings(
      stream, {"Content-Type: text/event-stream", "event: alarm\ndata: {\"active\":false}\n\n",
               "event: playing\ndata: {\"playing\":false}\n\n",
               "event: bells\ndata: {\"enabled\":true}\n\n", "event: saveError\ndata: null\n\n"}));

  ASSERT_EQ(get("/api/trigger/alarmOn/0")->status, 200);
  EXPECT_TRUE(brings(stream, {"event: alarm\ndata: {\"active\":true}\n\n",
                              "event: playing\ndata: {\"playing\":true}\n\n",
                              "event: sound\ndata: {\"due\":null,\"started\":"}));
  EXPECT_NE(seen_.find("\"source\":\"alarm\""), std::string::npos) << seen_;

  ASSERT_EQ(post("/db/settings/update", R"({"schedulerEnable": false})")->status, 200);
  EXPECT_TRUE(brings(stream, {"event: bells\ndata: {\"enabled\":false}\n\n",
                              "event: database\ndata: {\"part\":\"settings\"}\n\n"}));

  ASSERT_EQ(post("/db/timetables/create", R"({"name": "Exam day"})")->status, 200);
  EXPECT_TRUE(brings(stream, {"event: database\ndata: {\"part\":\"timetables\"}\n\n"}));
  // Only the part that changed is named.
  EXPECT_EQ(seen_.find("\"part\":\"settings\""), std::string::npos) << seen_;

  EXPECT_TRUE(brings(stream, {"event: heartbeat\ndata: {}\n\n"}));
  ASSERT_EQ(get("/api/trigger/alarmOff/0")->status, 200);
  pause_.hold(false);
  EXPECT_TRUE(brings(stream, {"event: alarm\ndata: {\"active\":false}\n\n",
                              "event: playing\ndata: {\"playing\":false}\n\n"}));
}

TEST_F(LiveEventsTest, StreamNeedsTheLogin) {
  setPassword("secret");
  auto refused = openStream();
  EXPECT_NE(refused->receiveUntil("No auth", WAIT).find("No auth"), std::string::npos);

  auto stream = openStream(login("secret"));
  EXPECT_TRUE(brings(stream, {"event: alarm\ndata: {\"active\":false}\n\n"}));
}

}  // namespace
}  // namespace veltrano::test
