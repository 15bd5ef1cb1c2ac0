#include "storage/SnapshotDirectory.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cctype>
#include <system_error>

#include "foundation/AtomicFile.hpp"

namespace veltrano {
namespace {

constexpr std::string_view PREFIX = "snapshot-";
constexpr std::string_view SUFFIX = ".tar.gz";
constexpr std::size_t STAMP_LENGTH = 15;  // YYYYmmdd-HHMMSS
constexpr int MAX_SAME_SECOND = 100;
// What writeFileAtomically writes first.
constexpr std::string_view TEMPORARY_SUFFIX = ".tmp";

bool isDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool isStamp(std::string_view stamp) {
  return stamp.size() == STAMP_LENGTH && isDigits(stamp.substr(0, 8)) && stamp[8] == '-' &&
         isDigits(stamp.substr(9));
}

// The facts a snapshot's name holds; nullopt for a name this directory did not give.
std::optional<SnapshotInfo> parseName(std::string_view name) {
  if (!name.starts_with(PREFIX) || !name.ends_with(SUFFIX))
    return std::nullopt;
  std::string_view rest = name.substr(PREFIX.size(), name.size() - PREFIX.size() - SUFFIX.size());
  if (rest.size() < STAMP_LENGTH + 2 || !isStamp(rest.substr(0, STAMP_LENGTH)) ||
      rest[STAMP_LENGTH] != '-')
    return std::nullopt;
  std::string_view stamp = rest.substr(0, STAMP_LENGTH);
  std::string_view reason = rest.substr(STAMP_LENGTH + 1);
  if (auto dash = reason.rfind('-');
      dash != std::string_view::npos && isDigits(reason.substr(dash + 1)))
    reason = reason.substr(0, dash);

  SnapshotInfo info;
  info.name = std::string(name);
  if (reason == reasonText(SnapshotReason::DAILY)) {
    info.reason = SnapshotReason::DAILY;
  } else if (reason == reasonText(SnapshotReason::BEFORE_RESTORE)) {
    info.reason = SnapshotReason::BEFORE_RESTORE;
  } else {
    return std::nullopt;
  }
  info.created = std::string(stamp.substr(0, 4)) + "-" + std::string(stamp.substr(4, 2)) + "-" +
                 std::string(stamp.substr(6, 2)) + " " + std::string(stamp.substr(9, 2)) + ":" +
                 std::string(stamp.substr(11, 2)) + ":" + std::string(stamp.substr(13, 2));
  return info;
}

}  // namespace

std::string_view reasonText(SnapshotReason reason) noexcept {
  return reason == SnapshotReason::DAILY ? "daily" : "before-restore";
}

SnapshotDirectory::SnapshotDirectory(std::filesystem::path directory)
    : directory_(std::move(directory)) {}

std::vector<SnapshotInfo> SnapshotDirectory::list() const {
  std::lock_guard lock(mutex_);
  return listLocked();
}

std::vector<SnapshotInfo> SnapshotDirectory::listLocked() const {
  std::vector<SnapshotInfo> found;
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory_, error), end; !error && it != end;
       it.increment(error)) {
    auto info = parseName(it->path().filename().string());
    if (!info || !it->is_regular_file(error))
      continue;
    info->size = it->file_size(error);
    found.push_back(std::move(*info));
  }
  // The stamp leads the name; within one second a later copy has a higher number.
  std::sort(found.begin(), found.end(), [](const SnapshotInfo& a, const SnapshotInfo& b) {
    if (a.created != b.created)
      return a.created > b.created;
    if (a.name.size() != b.name.size())
      return a.name.size() > b.name.size();
    return a.name > b.name;
  });
  return found;
}

std::optional<std::filesystem::path> SnapshotDirectory::find(std::string_view name) const {
  std::lock_guard lock(mutex_);
  for (const auto& info : listLocked()) {
    if (info.name == name)
      return directory_ / info.name;
  }
  return std::nullopt;
}

bool SnapshotDirectory::hasDaily(std::string_view day) const {
  std::lock_guard lock(mutex_);
  auto all = listLocked();
  return std::any_of(all.begin(), all.end(), [&](const SnapshotInfo& info) {
    std::string_view stamp = std::string_view(info.name).substr(PREFIX.size(), 8);
    return info.reason == SnapshotReason::DAILY && stamp == day;
  });
}

std::string SnapshotDirectory::add(std::string_view stamp, SnapshotReason reason,
                                   std::string_view archive) {
  if (!isStamp(stamp))
    throw std::invalid_argument("Invalid snapshot time: " + std::string(stamp));
  std::lock_guard lock(mutex_);
  std::filesystem::create_directories(directory_);
  std::string base =
      std::string(PREFIX) + std::string(stamp) + "-" + std::string(reasonText(reason));
  std::string name;
  for (int n = 1; n <= MAX_SAME_SECOND && name.empty(); ++n) {
    std::string candidate = base + (n == 1 ? "" : "-" + std::to_string(n)) + std::string(SUFFIX);
    if (!std::filesystem::exists(directory_ / candidate))
      name = candidate;
  }
  if (name.empty())
    throw std::runtime_error("Too many snapshots in one second");
  writeFileAtomically(directory_ / name, archive);

  auto all = listLocked();
  for (std::size_t i = SNAPSHOTS_KEPT; i < all.size(); ++i) {
    std::error_code error;
    std::filesystem::remove(directory_ / all[i].name, error);
    if (error)
      spdlog::warn("Could not remove the old snapshot " + all[i].name + ": " + error.message());
  }
  return name;
}

void SnapshotDirectory::removeUnfinished() noexcept {
  std::lock_guard lock(mutex_);
  std::vector<std::filesystem::path> unfinished;
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory_, error), end; !error && it != end;
       it.increment(error)) {
    std::string name = it->path().filename().string();
    if (name.ends_with(TEMPORARY_SUFFIX) &&
        parseName(std::string_view(name).substr(0, name.size() - TEMPORARY_SUFFIX.size())))
      unfinished.push_back(it->path());
  }
  for (const auto& path : unfinished)
    std::filesystem::remove(path, error);
}

}  // namespace veltrano
