#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace veltrano {

// Debian's mail transfer agents all provide it here.
inline constexpr const char* DEFAULT_SENDMAIL = "/usr/sbin/sendmail";

struct MailMessage {
  std::vector<std::string> to;  // plain addresses (isPlainEmailAddress)
  std::string subject;          // one line
  std::string body;             // UTF-8 text, lines ended by '\n'
};

// Hands mail to the computer's own mail transfer agent through its sendmail program, which
// queues it and retries on its own. Thread-safe.
class MailTransfer {
 public:
  explicit MailTransfer(std::filesystem::path sendmail = DEFAULT_SENDMAIL);

  // Why the message was not taken ("… ended with status 75"), or nothing once the agent has
  // queued it. Starts a child process: the caller must not hold the store lock.
  std::optional<std::string> send(const MailMessage& message) const;

  // The message as the agent reads it: headers, a blank line, the body.
  static std::string render(const MailMessage& message);

 private:
  std::filesystem::path sendmail_;
};

}  // namespace veltrano
