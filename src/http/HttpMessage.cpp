#include "http/HttpMessage.hpp"

#include <algorithm>
#include <cctype>

namespace veltrano {
namespace {

unsigned char lower(char c) noexcept {
  return static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

bool HeaderNameLess::operator()(std::string_view a, std::string_view b) const noexcept {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return lower(x) < lower(y); });
}

bool HttpRequest::hasHeader(std::string_view name) const {
  return headers.find(std::string(name)) != headers.end();
}

std::string HttpRequest::header(std::string_view name) const {
  auto found = headers.find(std::string(name));
  return found == headers.end() ? std::string() : found->second;
}

bool HttpRequest::isMultipartForm() const {
  std::string type = header("Content-Type");
  constexpr std::string_view MULTIPART = "multipart/form-data";
  return type.size() >= MULTIPART.size() &&
         equalsIgnoringCase(std::string_view(type).substr(0, MULTIPART.size()), MULTIPART);
}

bool HttpResponse::hasHeader(std::string_view name) const {
  return std::any_of(headers.begin(), headers.end(),
                     [&](const auto& header) { return equalsIgnoringCase(header.first, name); });
}

std::string HttpResponse::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equalsIgnoringCase(key, name))
      return value;
  }
  return "";
}

void HttpResponse::setHeader(std::string name, std::string value) {
  std::erase_if(headers,
                [&](const auto& header) { return equalsIgnoringCase(header.first, name); });
  headers.emplace_back(std::move(name), std::move(value));
}

void HttpResponse::setContent(std::string content, std::string contentType) {
  body = std::move(content);
  producer = nullptr;
  producedLength.reset();
  setHeader("Content-Type", std::move(contentType));
}

void HttpResponse::setProducer(BodyProducer next, std::string contentType,
                               std::optional<std::uint64_t> length) {
  body.clear();
  producer = std::move(next);
  producedLength = length;
  setHeader("Content-Type", std::move(contentType));
}

std::string_view reasonPhrase(int status) noexcept {
  switch (status) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 304:
      return "Not Modified";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 411:
      return "Length Required";
    case 413:
      return "Payload Too Large";
    case 414:
      return "URI Too Long";
    case 421:
      return "Misdirected Request";
    case 429:
      return "Too Many Requests";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    default:
      return "Unknown";
  }
}

}  // namespace veltrano
