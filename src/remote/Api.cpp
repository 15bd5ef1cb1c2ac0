#include "remote/Api.hpp"

#include <httplib.h>
#include <spdlog/spdlog.h>

#include <cerrno>
#include <exception>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

namespace veltrano {
namespace {

std::string describe(httplib::Error error) {
  switch (error) {
    case httplib::Error::Connection:
      return "could not connect";
    case httplib::Error::ConnectionTimeout:
      return "connection timed out";
    case httplib::Error::Read:
      return "no complete reply (read failed or timed out)";
    case httplib::Error::Write:
      return "could not send the request";
    case httplib::Error::SSLConnection:
      return "TLS handshake failed";
    case httplib::Error::SSLServerVerification:
      return "the server's certificate was not accepted";
    case httplib::Error::ExceedRedirectCount:
      return "too many redirects";
    default:
      return httplib::to_string(error);
  }
}

// A name beside `path` that no other download uses at the same time.
std::filesystem::path temporaryPathFor(const std::filesystem::path& path) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  auto name = path.filename();
  name += ".part-" + std::to_string(random());
  return path.parent_path() / name;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    throw std::system_error(errno, std::generic_category(), "cannot open " + path.string());
  }
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    throw std::system_error(errno, std::generic_category(), "cannot write " + path.string());
  }
}

}  // namespace

Api::Api(std::string baseUrl, ApiTimeouts timeouts)
    : baseUrl_(std::move(baseUrl)), timeouts_(timeouts), target_(std::string()) {
  try {
    target_ = parseServiceUrl(baseUrl_);
  } catch (const std::invalid_argument& e) {
    target_ = std::string(e.what());
  }
}

Api::Reply Api::get(const QueryParams& params) {
  return request(params, timeouts_.read);
}

Api::Reply Api::ping(const std::string& version) {
  return get({{"c", "ping"}, {"version", version}});
}

Api::Reply Api::getCalendarRegistry() {
  return get({{"c", "getCalendarRegistry"}});
}

Api::Reply Api::request(const QueryParams& params, std::chrono::milliseconds readTimeout) {
  try {
    if (const auto* why = std::get_if<std::string>(&target_)) {
      throw std::invalid_argument(*why);
    }
    const auto& url = std::get<ServiceUrl>(target_);
    std::string path = url.pathPrefix + std::string(PATH);
    if (!params.empty()) {
      path += "?" + encodeQuery(params);
    }

    httplib::Client client(url.origin());
    client.set_connection_timeout(timeouts_.connect);
    client.set_read_timeout(readTimeout);
    client.set_write_timeout(timeouts_.write);
    client.set_follow_location(true);
    client.set_url_encode(false);  // the query is encoded already
    client.set_keep_alive(false);

    auto reply = client.Get(path);
    if (!reply) {
      throw std::runtime_error("Request to " + url.origin() + url.pathPrefix + std::string(PATH) +
                               " failed: " + describe(reply.error()));
    }
    const int statusCode = reply->status;
    ResponseBody body =
        decodeResponseBody(reply->get_header_value("Content-Type"), std::move(reply->body));
    if (spdlog::should_log(spdlog::level::debug)) {
      spdlog::debug("RESP {} {}", statusCode, toText(body));
    }
    networkState_ = NetworkState::OK;
    if (statusCode == 200) {
      return Reply::Ok(std::move(body));
    }
    return Reply::Err(std::move(body));
  } catch (const std::exception& e) {
    networkState_ = NetworkState::ERROR;
    spdlog::warn("Internet is unreachable");
    return Reply::Err(ResponseBody(std::in_place_type<std::string>, e.what()));
  } catch (...) {
    networkState_ = NetworkState::ERROR;
    spdlog::warn("Internet is unreachable");
    return Reply::Err(ResponseBody(std::in_place_type<std::string>, "unknown failure"));
  }
}

Result<std::monostate, ResponseBody> Api::downloadAnnouncement(const std::string& id,
                                                               const std::filesystem::path& path) {
  using DownloadResult = Result<std::monostate, ResponseBody>;
  Reply reply = request({{"c", "downloadAnnouncement"}, {"id", id}}, timeouts_.downloadRead);
  if (!reply.isOk()) {
    return std::move(reply).propagateError<std::monostate>();
  }
  const auto failed = [](const std::string& why) {
    return DownloadResult::Err(
        ResponseBody(std::in_place_type<std::string>, "Failed to write file: " + why));
  };
  const auto* raw = std::get_if<RawBytes>(&reply.getValue());
  if (raw == nullptr) {
    const bool json = std::holds_alternative<Json>(reply.getValue());
    return failed(std::string("the reply is ") + (json ? "JSON" : "text") + ", not a file");
  }

  const auto temporary = temporaryPathFor(path);
  try {
    writeFile(temporary, raw->bytes);
    std::filesystem::rename(temporary, path);
  } catch (const std::exception& e) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return failed(e.what());
  }
  return DownloadResult::Ok();
}

}  // namespace veltrano
