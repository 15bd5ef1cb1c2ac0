#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace veltrano {

// The live logins, by the random id their session cookie names: a cookie counts only while
// its id is here, so a logout, a password change or "sign out everywhere" ends it for good,
// even where the cookie was copied. Kept in a file of its own so a restart keeps people
// logged in. Thread-safe.
class SessionRegistry {
 public:
  // At most this many browsers are logged in at once; a new login ends the oldest.
  static constexpr std::size_t MAX_SESSIONS = 50;

  // Reads the file; a missing or unreadable one means nobody is logged in.
  explicit SessionRegistry(std::filesystem::path file);

  // A new live session's id.
  std::string open(std::int64_t now);
  bool isLive(const std::string& id) const;
  void close(const std::string& id);
  void closeAll();
  std::size_t count() const;

 private:
  struct Entry {
    std::string id;
    std::int64_t openedAt = 0;
  };

  // Caller holds mutex_. A file that cannot be written leaves the sessions in force until a
  // restart; the failure is logged.
  void save() const;

  const std::filesystem::path file_;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;  // protected by mutex_; oldest first
};

}  // namespace veltrano
