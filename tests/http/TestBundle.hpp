#pragma once

#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/RuntimeEnvironment.hpp"

namespace veltrano::test {

inline constexpr const char* TEST_INDEX_HTML =
    "<!doctype html><title>Veltrano test dashboard</title>";
inline constexpr const char* TEST_SCRIPT = "console.log('dashboard');";

inline void writeTextFile(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
}

inline std::string readTextFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A release layout below root: "bundle" with a copy of the packaged assets and a small fake
// dashboard, "home" as the user's home (so the data lie in home/.VeltranoPlayer), and a file
// "secret.txt" beside the dashboard that no request may reach.
struct TestBundle {
  explicit TestBundle(const std::filesystem::path& rootDir)
      : root(rootDir), bundle(rootDir / "bundle"), home(rootDir / "home") {
    std::filesystem::create_directories(bundle / "assets");
    std::filesystem::copy(
        std::filesystem::path(VELTRANO_SOURCE_DIR) / "assets", bundle / "assets",
        std::filesystem::copy_options::recursive | std::filesystem::copy_options::skip_existing);
    writeTextFile(dist() / "index.html", TEST_INDEX_HTML);
    writeTextFile(dist() / "assets" / "app.js", TEST_SCRIPT);
    writeTextFile(dist() / "favicon.ico", "icon");
    writeTextFile(bundle / "web-ui" / "secret.txt", "secret");
    std::filesystem::create_directories(home);
  }

  std::filesystem::path dist() const { return bundle / "web-ui" / "dist"; }
  std::filesystem::path userData() const { return home / ".VeltranoPlayer"; }

  RuntimeEnvironment environment() const {
    RuntimeEnvironment env;
    env.release = true;
    env.bundleDir = bundle;
    env.home = home;
    return env;
  }

  std::filesystem::path root;
  std::filesystem::path bundle;
  std::filesystem::path home;
};

// The session cookie ("session=...") a response set, or "" when it set none.
inline std::string sessionCookieOf(const httplib::Result& result) {
  if (!result || !result->has_header("Set-Cookie"))
    return "";
  std::string header = result->get_header_value("Set-Cookie");
  return header.substr(0, header.find(';'));
}

inline httplib::Headers withCookie(const std::string& cookie) {
  if (cookie.empty())
    return {};
  return {{"Cookie", cookie}};
}

}  // namespace veltrano::test
