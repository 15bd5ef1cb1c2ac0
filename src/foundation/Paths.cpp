#include "foundation/Paths.hpp"

#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "foundation/ProcessRunner.hpp"

namespace veltrano {

struct Paths::VersionCache {
  std::mutex mutex;
  std::optional<std::string> value;  // protected by mutex
};

namespace {

constexpr std::string_view WHITESPACE = " \t\n\r\f\v";

std::string trim(std::string_view text) {
  auto begin = text.find_first_not_of(WHITESPACE);
  if (begin == std::string_view::npos) {
    return "";
  }
  auto end = text.find_last_not_of(WHITESPACE);
  return std::string(text.substr(begin, end - begin + 1));
}

std::filesystem::path pathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// File names come from stored records and uploads; only a bare name may reach the file system,
// so that no name can read, overwrite or delete a file outside its directory.
std::filesystem::path plainFileName(std::string_view name, bool windows) {
  bool bad = name == "." || name == ".." ||
             name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos ||
             (windows && name.find(':') != std::string_view::npos);
  if (bad) {
    throw std::invalid_argument("Invalid file name: " + std::string(name));
  }
  return pathFromUtf8(name);
}

}  // namespace

Paths::Paths(RuntimeEnvironment env)
    : env_(std::move(env)), version_(std::make_shared<VersionCache>()) {}

Paths Paths::fromProcess() {
  return Paths(RuntimeEnvironment::fromProcess());
}

std::filesystem::path Paths::assetRoot(const std::filesystem::path& relative) const {
  return realPath((env_.release ? env_.bundleDir : env_.sourceDir) / relative);
}

std::filesystem::path Paths::getAssetPath(std::string_view filename) const {
  return assetRoot(std::filesystem::path("assets") / plainFileName(filename, env_.windows));
}

std::filesystem::path Paths::getHtmlDir() const {
  return assetRoot(std::filesystem::path("web-ui") / "dist");
}

std::filesystem::path Paths::getUserDataPath() const {
  if (!env_.release) {
    return realPath(env_.sourceDir / "userdata");
  }
  // An empty value would put the data in whatever the working directory happens to be.
  if (env_.windows) {
    if (!env_.appData || env_.appData->empty()) {
      throw std::out_of_range("Environment variable APPDATA is not set");
    }
    return realPath(*env_.appData / APP_NAME);
  }
  if (!env_.home || env_.home->empty()) {
    throw std::out_of_range("The home directory is unknown");
  }
  return realPath(*env_.home / ("." + std::string(APP_NAME)));
}

std::filesystem::path Paths::getUserFilePath(std::string_view filename) const {
  auto name = plainFileName(filename, env_.windows);
  auto dir = getUserDataPath();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  // Another thread or process may have created it in the meantime; that is fine.
  if (ec && !std::filesystem::is_directory(dir)) {
    throw std::filesystem::filesystem_error("Cannot create the user data directory", dir, ec);
  }
  return dir / name;
}

void Paths::removeUserFile(std::string_view filename) const {
  // Without a name the path is the directory itself, which must never go.
  if (filename.empty()) {
    throw std::invalid_argument("Invalid file name: ");
  }
  auto path = getUserFilePath(filename);
  if (!std::filesystem::remove(path)) {
    throw std::filesystem::filesystem_error(
        "Cannot remove file", path, std::make_error_code(std::errc::no_such_file_or_directory));
  }
}

std::string Paths::getVersion() const {
  std::lock_guard lock(version_->mutex);
  if (!version_->value) {
    version_->value = env_.release ? versionFromAsset() : "D" + versionFromGit();
  }
  return *version_->value;
}

std::string Paths::versionFromAsset() const {
  auto path = getAssetPath("version.info");
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  if (!in || in.bad()) {
    throw std::runtime_error("Cannot read the version file " + path.string());
  }
  return trim(content.str());
}

std::string Paths::versionFromGit() const {
  // -C: the checkout's version, whatever the working directory of the process.
  auto sourceDir = env_.sourceDir.u8string();
  auto outcome = runProcess({"git", "-C", std::string(sourceDir.begin(), sourceDir.end()),
                             "describe", "--always", "--dirty"});
  if (!outcome.started || outcome.exitStatus != 0) {
    return "?";
  }
  return trim(outcome.standardOutput);
}

bool isWindowsPlatform(std::string_view platform) noexcept {
  return platform.starts_with("win32") || platform.starts_with("cygwin");
}

std::pair<std::string, std::string> getFileNameAndExtension(std::string_view filename) {
  auto slash = filename.find_last_of("/\\");
  std::size_t componentStart = slash == std::string_view::npos ? 0 : slash + 1;
  auto firstNonDot = filename.find_first_not_of('.', componentStart);
  auto dot = filename.rfind('.');
  if (dot == std::string_view::npos || firstNonDot == std::string_view::npos || dot < firstNonDot) {
    return {std::string(filename), ""};
  }
  std::string extension(filename.substr(dot + 1));
  for (auto& c : extension) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return {std::string(filename.substr(0, dot)), extension};
}

std::filesystem::path realPath(const std::filesystem::path& path) {
  return std::filesystem::weakly_canonical(std::filesystem::absolute(path));
}

}  // namespace veltrano
