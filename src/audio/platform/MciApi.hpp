#pragma once

#include <cstdint>
#include <string>

namespace veltrano {

// The two winmm functions the Windows player needs, so its command sequence can be checked
// against a fake anywhere. Texts are UTF-8; the binding converts to and from UTF-16.
class MciApi {
 public:
  virtual ~MciApi() = default;

  // mciSendStringW: sends one command string; returns its result code (0 on success) and
  // fills reply with the device's answer.
  virtual std::uint32_t sendString(const std::string& command, std::string& reply) = 0;
  // mciGetErrorStringW: the text that describes a result code.
  virtual std::string getErrorString(std::uint32_t code) = 0;
};

}  // namespace veltrano
