#include "remote/MailTransfer.hpp"

#include <chrono>

#include "foundation/Crypto.hpp"
#include "foundation/LimitedProcess.hpp"

namespace veltrano {
namespace {

bool isAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80)
      return false;
  }
  return true;
}

// A header's text without line breaks, encoded when it is not plain ASCII.
std::string headerText(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n')
      c = ' ';
  }
  if (isAscii(text))
    return text;
  return "=?UTF-8?B?" + base64Encode(text) + "?=";
}

std::string joined(const std::vector<std::string>& addresses) {
  std::string out;
  for (const auto& address : addresses)
    out += (out.empty() ? "" : ", ") + address;
  return out;
}

}  // namespace

MailTransfer::MailTransfer(std::filesystem::path sendmail) : sendmail_(std::move(sendmail)) {}

std::string MailTransfer::render(const MailMessage& message) {
  std::string out;
  out += "To: " + joined(message.to) + "\n";
  out += "Subject: " + headerText(message.subject) + "\n";
  out += "MIME-Version: 1.0\n";
  out += "Content-Type: text/plain; charset=utf-8\n";
  out += "Content-Transfer-Encoding: 8bit\n";
  // Tells mail servers and vacation replies that no person wrote it.
  out += "Auto-Submitted: auto-generated\n";
  out += "\n";
  out += message.body;
  if (!message.body.ends_with('\n'))
    out += '\n';
  return out;
}

std::optional<std::string> MailTransfer::send(const MailMessage& message) const {
  if (message.to.empty())
    return "no address to send to";
  // -oi: a line holding a single dot does not end the message; "--": addresses are never
  // options (they are checked to be plain addresses before they get here as well).
  std::vector<std::string> arguments{"-oi", "--"};
  arguments.insert(arguments.end(), message.to.begin(), message.to.end());
  const LimitedProcessLimits limits{.wallClock = std::chrono::seconds(30),
                                    .maxOutputBytes = 64 * 1024};
  const auto outcome = runLimitedProcess(sendmail_, arguments, render(message), limits);
  switch (outcome.end) {
    case LimitedProcessOutcome::End::NOT_STARTED:
      return sendmail_.string() + " could not be started (is a mail transfer agent installed?)";
    case LimitedProcessOutcome::End::KILLED:
      return sendmail_.string() + " did not finish within 30 s";
    case LimitedProcessOutcome::End::EXITED:
      break;
  }
  if (outcome.exitStatus != 0)
    return sendmail_.string() + " ended with status " + std::to_string(outcome.exitStatus);
  return std::nullopt;
}

}  // namespace veltrano
