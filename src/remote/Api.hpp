#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>

#include "remote/NetworkState.hpp"
#include "remote/ResponseBody.hpp"
#include "remote/Result.hpp"
#include "remote/ServiceUrl.hpp"

namespace veltrano {

// Bounds on one request, so that a silent service never holds the calling thread.
struct ApiTimeouts {
  std::chrono::milliseconds connect{5000};
  std::chrono::milliseconds read{10000};  // the longest silence within a reply
  std::chrono::milliseconds write{5000};
  std::chrono::milliseconds downloadRead{60000};  // announcements are whole audio files
};

// Client of the remote service: one GET path, the operation chosen by the query parameter
// `c`. Thread-safe; each request uses its own connection and blocks the caller until it
// completes or a time-out ends it.
class Api {
 public:
  // The decoded reply body on success; on failure the reply body of an error status, or
  // the text of a network or decoding failure.
  using Reply = Result<ResponseBody, ResponseBody>;

  // A base URL that does not parse makes every request fail with the parse failure's text.
  explicit Api(std::string baseUrl, ApiTimeouts timeouts = {});

  // Sends the parameters, in order, to the service path. Never throws.
  Reply get(const QueryParams& params);
  // Asks for the service's calendar version; `version` is this program's version text.
  Reply ping(const std::string& version);
  Reply getCalendarRegistry();
  // Stores the announcement's audio at `path`, replacing it only once the whole file has
  // arrived: a failed download keeps the previous file. Never throws.
  Result<std::monostate, ResponseBody> downloadAnnouncement(const std::string& id,
                                                            const std::filesystem::path& path);

  // The outcome of the most recent request of any thread; readable from any thread.
  NetworkState networkState() const noexcept { return networkState_.load(); }
  const std::string& baseUrl() const noexcept { return baseUrl_; }

  // The service path below the base URL.
  static constexpr std::string_view PATH = "/api/player/v1";

 private:
  Reply request(const QueryParams& params, std::chrono::milliseconds readTimeout);

  const std::string baseUrl_;
  const ApiTimeouts timeouts_;
  std::variant<ServiceUrl, std::string> target_;  // the parsed URL, or why it did not parse
  std::atomic<NetworkState> networkState_{NetworkState::UNKNOWN};
};

}  // namespace veltrano
