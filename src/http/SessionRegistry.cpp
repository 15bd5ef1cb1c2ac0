#include "http/SessionRegistry.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "foundation/AtomicFile.hpp"
#include "foundation/Crypto.hpp"
#include "foundation/Json.hpp"
#include "http/Exchange.hpp"

namespace veltrano {
namespace {

constexpr std::size_t ID_BYTES = 32;
// Far more than MAX_SESSIONS entries' worth: anything longer is not ours.
constexpr std::uintmax_t MAX_FILE_BYTES = 64 * 1024;

bool isSessionId(const Json& id) {
  if (!id.is_string())
    return false;
  const auto& text = id.get_ref<const std::string&>();
  return text.size() == 2 * ID_BYTES && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

}  // namespace

SessionRegistry::SessionRegistry(std::filesystem::path file) : file_(std::move(file)) {
  std::error_code error;
  auto size = std::filesystem::file_size(file_, error);
  if (error || size > MAX_FILE_BYTES)
    return;
  std::ifstream in(file_, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Json stored = parseRequestJson(text);
  if (!stored.is_object() || !stored.contains("sessions") || !stored["sessions"].is_array())
    return;
  for (const auto& entry : stored["sessions"]) {
    if (!entry.is_object() || !isSessionId(entry.value("id", Json())) ||
        !entry.value("openedAt", Json()).is_number_integer()) {
      continue;
    }
    entries_.push_back(
        Entry{entry["id"].get<std::string>(), entry["openedAt"].get<std::int64_t>()});
    if (entries_.size() == MAX_SESSIONS)
      break;
  }
}

std::string SessionRegistry::open(std::int64_t now) {
  std::lock_guard lock(mutex_);
  std::string id = randomHex(ID_BYTES);
  if (entries_.size() >= MAX_SESSIONS)
    entries_.erase(entries_.begin(), entries_.end() - (MAX_SESSIONS - 1));
  entries_.push_back(Entry{id, now});
  save();
  return id;
}

bool SessionRegistry::isLive(const std::string& id) const {
  std::lock_guard lock(mutex_);
  return !id.empty() && std::any_of(entries_.begin(), entries_.end(),
                                    [&](const Entry& entry) { return entry.id == id; });
}

void SessionRegistry::close(const std::string& id) {
  std::lock_guard lock(mutex_);
  auto before = entries_.size();
  std::erase_if(entries_, [&](const Entry& entry) { return entry.id == id; });
  if (entries_.size() != before)
    save();
}

void SessionRegistry::closeAll() {
  std::lock_guard lock(mutex_);
  entries_.clear();
  save();
}

std::size_t SessionRegistry::count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void SessionRegistry::save() const {
  Json list = Json::array();
  for (const auto& entry : entries_)
    list.push_back(Json{{"id", entry.id}, {"openedAt", entry.openedAt}});
  try {
    writeFileAtomically(file_, Json{{"sessions", list}}.dump());
  } catch (const std::exception& e) {
    spdlog::error(std::string("The logins cannot be saved: ") + e.what());
  }
}

}  // namespace veltrano
