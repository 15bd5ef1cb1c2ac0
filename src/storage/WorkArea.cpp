#include "storage/WorkArea.hpp"

#include <spdlog/spdlog.h>

#include <stdexcept>
#include <system_error>
#include <vector>

#include "foundation/Crypto.hpp"

namespace veltrano {
namespace {

constexpr std::string_view PREFIX = ".restore-";
// The endings lease is given: a staging directory has none, an archive ".tar.gz".
constexpr std::string_view ARCHIVE_SUFFIX = ".tar.gz";
constexpr std::size_t UUID_LENGTH = 36;

bool isUuid(std::string_view text) noexcept {
  if (text.size() != UUID_LENGTH)
    return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    char c = text[i];
    if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
      return false;
  }
  return true;
}

}  // namespace

WorkArea::Lease::Lease(Lease&& other) noexcept
    : area_(other.area_), path_(std::move(other.path_)), kept_(other.kept_) {
  other.area_ = nullptr;
}

WorkArea::Lease::~Lease() {
  if (area_)
    area_->release(*this);
}

WorkArea::WorkArea(std::filesystem::path directory) : directory_(std::move(directory)) {}

WorkArea::Lease WorkArea::lease(const std::string& suffix) {
  if (!suffix.empty() && suffix != ARCHIVE_SUFFIX)
    throw std::invalid_argument("A work file the sweep would not know: " + suffix);
  // The data directory may not exist yet on a fresh installation.
  std::error_code ignored;
  std::filesystem::create_directories(directory_, ignored);
  auto path = directory_ / (std::string(PREFIX) + randomUuid() + suffix);
  std::lock_guard lock(mutex_);
  leased_.insert(path.filename());
  return Lease(*this, path);
}

void WorkArea::release(const Lease& lease) noexcept {
  std::error_code error;
  if (!lease.kept_)
    std::filesystem::remove_all(lease.path_, error);
  // A file that would not go is left to the next sweep.
  std::lock_guard lock(mutex_);
  leased_.erase(lease.path_.filename());
}

void WorkArea::sweep() noexcept {
  std::vector<std::filesystem::path> found;
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory_, error), end; !error && it != end;
       it.increment(error)) {
    if (isWorkName(it->path().filename().string()))
      found.push_back(it->path());
  }
  {
    // A lease never takes a name that exists already, so what is free now stays free.
    std::lock_guard lock(mutex_);
    std::erase_if(found, [&](const auto& path) { return leased_.contains(path.filename()); });
  }
  for (const auto& path : found) {
    std::filesystem::remove_all(path, error);
    if (error) {
      spdlog::warn("Could not remove " + path.string() +
                   ", left by an earlier restore: " + error.message());
    } else {
      spdlog::debug("Removed " + path.string() + ", left by an earlier restore or backup");
    }
  }
}

bool WorkArea::isWorkName(std::string_view name) noexcept {
  if (!name.starts_with(PREFIX))
    return false;
  name.remove_prefix(PREFIX.size());
  if (name.ends_with(ARCHIVE_SUFFIX))
    name.remove_suffix(ARCHIVE_SUFFIX.size());
  return isUuid(name);
}

}  // namespace veltrano
