#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio/Alarm.hpp"
#include "audio/FakeFilePlayer.hpp"
#include "audio/Player.hpp"
#include "audio/SongPlayback.hpp"
#include "audio/SoundLog.hpp"
#include "domain/Clock.hpp"
#include "domain/LocalSecond.hpp"
#include "foundation/Paths.hpp"
#include "http/HttpServer.hpp"
#include "http/TestBundle.hpp"
#include "remote/Api.hpp"
#include "remote/CalendarFeeds.hpp"
#include "remote/ServiceStub.hpp"
#include "storage/Stores.hpp"
#include "support/TempDir.hpp"

namespace veltrano::test {

// Monday 9 March 2026, 10:00:00.
inline ClockValue mondayMorning() {
  ClockValue now;
  now.tm_year = 2026;
  now.tm_mon = 3;
  now.tm_mday = 9;
  now.tm_hour = 10;
  now.tm_wday = 0;
  now.tm_yday = 68;
  return now;
}

// The real server object on a loopback port, over the factory database, with fake file
// players, a fixed clock and the remote service stub.
class ServerFixture : public ::testing::Test {
 protected:
  ServerFixture()
      : bundle_(temp_.path()),
        paths_(bundle_.environment()),
        clock_([this] {
          std::lock_guard lock(nowMutex_);
          return now_;
        }),
        soundLog_(temp_.path() / "history",
                  [this] {
                    return std::chrono::system_clock::time_point(
                        std::chrono::milliseconds(epochMillisOfLocal(clock_.getClock())));
                  }),
        player_(clock_, stage_.factory(), pause_.function()),
        songs_(player_, paths_, &soundLog_),
        alarm_(songs_),
        api_(stub_.url()),
        backups_(stores_, paths_, clock_),
        alerts_(stores_, clock_, "test-player",
                [this](const MailMessage& message) -> std::optional<std::string> {
                  std::lock_guard lock(mailMutex_);
                  mails_.push_back(message);
                  return std::nullopt;
                }),
        feeds_(stores_, clock_),
        server_(HttpContext{stores_, clock_, paths_, player_, songs_, alarm_, api_, speech_,
                            soundLog_, backups_, statistics_, alerts_, feeds_}) {
    clock_.updateClock();
    {
      auto access = stores_.lock();
      access.db().loadFactoryDefault();
      access.db().ensureFactorySongsAvailable();
    }
    port_ = server_.bindToAnyPort("127.0.0.1");
    thread_ = std::thread([this] { server_.listen(); });
    client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
    client_->set_connection_timeout(5, 0);
    client_->set_read_timeout(5, 0);
  }

  ~ServerFixture() override {
    server_.stop();
    thread_.join();
    player_.stopAll();
  }

  void setNow(const ClockValue& now) {
    {
      std::lock_guard lock(nowMutex_);
      now_ = now;
    }
    clock_.updateClock();
  }

  httplib::Result get(const std::string& path, const std::string& cookie = "") {
    return client_->Get(path, withCookie(cookie));
  }
  httplib::Result post(const std::string& path, const std::string& body,
                       const std::string& cookie = "",
                       const std::string& contentType = "application/json") {
    return client_->Post(path, withCookie(cookie), body, contentType);
  }
  httplib::Result upload(const httplib::MultipartFormDataItems& items,
                         const std::string& cookie = "") {
    return client_->Post("/upload", withCookie(cookie), items);
  }

  void setPassword(const std::string& password) { stores_.lock().shadow().setPassword(password); }
  // Logs in with the password and returns the session cookie.
  std::string login(const std::string& password, bool remember = false) {
    Json body = {{"userPassword", password}, {"remember", remember}};
    return sessionCookieOf(post("/auth/login", body.dump()));
  }

  TempDir temp_;
  TestBundle bundle_;
  FakeStage stage_;
  FakePause pause_;
  ServiceStub stub_;
  std::mutex nowMutex_;
  ClockValue now_ = mondayMorning();  // protected by nowMutex_
  Paths paths_;
  Clock clock_;
  Stores stores_;
  SoundLog soundLog_;
  Player player_;
  SongPlayback songs_;
  Alarm alarm_;
  Api api_;
  // A fake synthesizer on the search path stands in for espeak-ng where a test needs it.
  SpeechSynthesizer speech_{"espeak-ng", "de_DE.UTF-8"};
  Backups backups_;
  SoundStatistics statistics_;
  std::mutex mailMutex_;
  std::vector<MailMessage> mails_;  // protected by mailMutex_: what the alerts sent
  Alerts alerts_;
  CalendarFeeds feeds_;
  HttpServer server_;
  int port_ = 0;
  std::thread thread_;
  std::unique_ptr<httplib::Client> client_;
};

}  // namespace veltrano::test
