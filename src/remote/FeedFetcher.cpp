#include "remote/FeedFetcher.hpp"

#include <httplib.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <exception>
#include <optional>

#include "remote/FeedUrl.hpp"

namespace veltrano {
namespace {

using Clock = std::chrono::steady_clock;

// Why a reply ended before it was whole, known only to the receiver.
enum class Stop { NONE, TOO_LARGE, TOO_SLOW, CANCELLED };

std::string tooLarge(std::size_t maxBytes) {
  constexpr std::size_t MIB = 1024 * 1024;
  const std::string limit = maxBytes % MIB == 0 ? std::to_string(maxBytes / MIB) + " MiB"
                                                : std::to_string(maxBytes / 1024) + " KiB";
  return "The calendar is too large (more than " + limit + ")";
}

std::string describe(httplib::Error error) {
  switch (error) {
    case httplib::Error::Connection:
      return "The calendar's server could not be reached";
    case httplib::Error::ConnectionTimeout:
    case httplib::Error::Read:
      return "The calendar's server did not answer in time";
    case httplib::Error::SSLConnection:
      return "No secure connection to the calendar's server";
    case httplib::Error::SSLServerVerification:
      return "The calendar's server has a certificate that is not trusted";
    default:
      return "The calendar could not be fetched (" + httplib::to_string(error) + ")";
  }
}

bool isRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

FeedFetcher::Outcome FeedFetcher::fetch(const std::string& url) const {
  try {
    const auto deadline = Clock::now() + limits_.total;
    FeedUrl target = parseFeedUrl(url);
    for (int hop = 0; hop <= limits_.maxRedirects; ++hop) {
      if (cancelled_)
        return Outcome::Err("The player is ending");
      httplib::Client client(target.origin.origin());
      client.set_connection_timeout(limits_.connect);
      client.set_read_timeout(limits_.read);
      client.set_write_timeout(limits_.connect);
      client.set_keep_alive(false);
      client.set_url_encode(false);  // the target is sent as the user gave it

      std::string body;
      Stop stop = Stop::NONE;
      const auto receive = [&](const char* data, std::size_t length) {
        if (cancelled_)
          stop = Stop::CANCELLED;
        else if (Clock::now() > deadline)
          stop = Stop::TOO_SLOW;
        else if (body.size() + length > limits_.maxBytes)
          stop = Stop::TOO_LARGE;
        else
          body.append(data, length);
        return stop == Stop::NONE;
      };
      // A declared length says "too large" before anything is read.
      const auto head = [&](const httplib::Response& response) {
        const std::string length = response.get_header_value("Content-Length");
        if (!isRedirect(response.status) && !length.empty() && length.size() < 19 &&
            std::all_of(length.begin(), length.end(),
                        [](char c) { return c >= '0' && c <= '9'; }) &&
            std::stoull(length) > limits_.maxBytes) {
          stop = Stop::TOO_LARGE;
        }
        return stop == Stop::NONE;
      };
      httplib::Headers headers{{"Accept", "text/calendar, */*;q=0.5"}};
      auto reply = client.Get(target.target, headers, head, receive);
      switch (stop) {
        case Stop::TOO_LARGE:
          return Outcome::Err(tooLarge(limits_.maxBytes));
        case Stop::TOO_SLOW:
          return Outcome::Err("The calendar's server did not send it in time");
        case Stop::CANCELLED:
          return Outcome::Err("The player is ending");
        case Stop::NONE:
          break;
      }
      if (!reply)
        return Outcome::Err(describe(reply.error()));
      if (isRedirect(reply->status)) {
        const std::string location = reply->get_header_value("Location");
        if (location.empty())
          return Outcome::Err("The calendar's server answered HTTP " +
                              std::to_string(reply->status));
        target = resolveRedirect(target, location);
        continue;
      }
      if (reply->status != 200)
        return Outcome::Err("The calendar's server answered HTTP " + std::to_string(reply->status));
      return Outcome::Ok(std::move(body));
    }
    return Outcome::Err("The calendar's server redirected too many times");
  } catch (const std::invalid_argument& e) {
    return Outcome::Err(e.what());
  } catch (const std::exception& e) {
    spdlog::warn("Calendar {} not fetched: {}", url, e.what());
    return Outcome::Err("The calendar could not be fetched");
  }
}

}  // namespace veltrano
