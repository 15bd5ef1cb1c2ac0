#pragma once

#include "audio/platform/MciApi.hpp"

namespace veltrano {

// The real winmm functions, with UTF-8 texts converted to and from UTF-16.
class WinmmMciApi final : public MciApi {
 public:
  std::uint32_t sendString(const std::string& command, std::string& reply) override;
  std::string getErrorString(std::uint32_t code) override;
};

}  // namespace veltrano
