#include "http/StaticFiles.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "http/AuthHandlers.hpp"

namespace veltrano {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 22> CONTENT_TYPES{{
    {"html", "text/html; charset=utf-8"},
    {"htm", "text/html; charset=utf-8"},
    {"js", "text/javascript; charset=utf-8"},
    {"mjs", "text/javascript; charset=utf-8"},
    {"css", "text/css; charset=utf-8"},
    {"json", "application/json"},
    {"map", "application/json"},
    {"webmanifest", "application/manifest+json"},
    {"txt", "text/plain; charset=utf-8"},
    {"svg", "image/svg+xml"},
    {"png", "image/png"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"gif", "image/gif"},
    {"webp", "image/webp"},
    {"ico", "image/vnd.microsoft.icon"},
    {"woff", "font/woff"},
    {"woff2", "font/woff2"},
    {"wasm", "application/wasm"},
    {"mp3", "audio/mpeg"},
    {"wav", "audio/wav"},
    {"mp4", "video/mp4"},
}};

constexpr std::size_t CHUNK_SIZE = 64 * 1024;

bool isInside(const std::filesystem::path& candidate, const std::filesystem::path& root) {
  auto relative = candidate.lexically_relative(root);
  return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

std::optional<std::filesystem::path> resolveStaticPath(const std::filesystem::path& root,
                                                       std::string_view relativePath) {
  if (relativePath.empty() || relativePath.front() == '/' ||
      relativePath.find_first_of(std::string_view("\\\0:", 3)) != std::string_view::npos) {
    return std::nullopt;
  }
  std::filesystem::path relative(std::u8string(relativePath.begin(), relativePath.end()));
  for (const auto& part : relative) {
    if (part == "..")
      return std::nullopt;
  }
  std::error_code error;
  auto realRoot = std::filesystem::canonical(root, error);
  if (error)
    return std::nullopt;
  // Resolves every link on the way, so a link that points outside shows as outside.
  auto candidate = std::filesystem::weakly_canonical(realRoot / relative, error);
  if (error || !isInside(candidate, realRoot))
    return std::nullopt;
  if (!std::filesystem::is_regular_file(candidate, error))
    return std::nullopt;
  return candidate;
}

std::string contentTypeFor(const std::filesystem::path& file) {
  auto extension = file.extension().string();
  if (!extension.empty())
    extension.erase(0, 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& [name, type] : CONTENT_TYPES) {
    if (name == extension)
      return std::string(type);
  }
  return "application/octet-stream";
}

void sendFile(Exchange& exchange, const std::filesystem::path& file,
              std::optional<std::string> disposition) {
  auto stream = std::make_shared<std::ifstream>(file, std::ios::binary);
  std::error_code error;
  auto size = std::filesystem::file_size(file, error);
  if (!*stream || error)
    throw HttpError(404, "Not Found");

  exchange.response().status = 200;
  if (disposition)
    exchange.response().setHeader("Content-Disposition", *disposition);
  auto left = std::make_shared<std::uint64_t>(size);
  exchange.response().setProducer(
      [stream, left](std::string& out) {
        std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(*left, CHUNK_SIZE));
        out.resize(piece);
        stream->read(out.data(), static_cast<std::streamsize>(piece));
        // A file that shrank meanwhile breaks the answer off instead of sending garbage.
        if (stream->gcount() != static_cast<std::streamsize>(piece))
          throw std::runtime_error("the file shrank while it was sent");
        *left -= piece;
        return *left > 0;
      },
      contentTypeFor(file), size);
}

namespace {

void sendFromDashboard(HttpContext& context, Exchange& exchange, std::string_view path) {
  auto file = resolveStaticPath(context.paths.getHtmlDir(), path);
  if (!file)
    throw HttpError(404, "Not Found");
  sendFile(exchange, *file);
}

}  // namespace

void serve_static(HttpContext& context, Exchange& exchange, const std::string& path) {
  if (path.find('.') != std::string::npos) {
    sendFromDashboard(context, exchange, path);
    return;
  }
  bool loginNeeded = needsLogin(context, exchange);
  if (path == "welcome") {
    sendFromDashboard(context, exchange, "index.html");
  } else if (loginNeeded && path != "login") {
    exchange.redirect("/login");
  } else if (!loginNeeded && path == "login") {
    exchange.redirect("/");
  } else {
    sendFromDashboard(context, exchange, "index.html");
  }
}

}  // namespace veltrano
