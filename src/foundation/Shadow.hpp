#pragma once

#include "foundation/Record.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace veltrano {

// The dashboard password: a random salt and the salted SHA-256 digest, never the password.
// The salt also signs the login sessions.
struct Shadow {
  std::optional<std::string> salt;      // 64 hex digits, created on first use
  std::optional<std::string> password;  // SHA-256 hex of salt + password; absent until set

  static constexpr auto fields() {
    return std::tuple{field("_salt", &Shadow::salt), field("_pwd", &Shadow::password)};
  }

  bool isPasswordSet() const noexcept { return password.has_value(); }
  // The salt, created first when there is none yet.
  const std::string& getCurrentSalt();
  void setPassword(std::string_view userPassword);
  // False while no password is set; compares digests in constant time.
  bool isPasswordMatching(std::string_view userPassword);

 private:
  std::string saltAndHash(std::string_view userPassword);
};

}  // namespace veltrano
