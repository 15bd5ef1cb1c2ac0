#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "http/Exchange.hpp"
#include "http/HttpContext.hpp"

namespace veltrano {

// The regular file that relativePath (a decoded URL path without its leading "/") names
// below root, with symbolic links resolved; nullopt when there is none or when the path
// tries to leave root (a ".." component, an absolute path, a backslash, a NUL, or a link
// pointing outside).
std::optional<std::filesystem::path> resolveStaticPath(const std::filesystem::path& root,
                                                       std::string_view relativePath);

// Content type by the file name's extension, application/octet-stream when unknown.
std::string contentTypeFor(const std::filesystem::path& file);

// Streams the file as the answer with its content type; 404 when it cannot be opened.
// disposition, when given, becomes the Content-Disposition header.
void sendFile(Exchange& exchange, const std::filesystem::path& file,
              std::optional<std::string> disposition = std::nullopt);

// GET "/" and "/<path>": files with a dot from the dashboard's directory whatever the login
// state; "welcome" always, "login" only when logged out, and every other path only when
// logged in (or no password is set) get index.html; the rest are redirected.
void serve_static(HttpContext& context, Exchange& exchange, const std::string& path);

}  // namespace veltrano
