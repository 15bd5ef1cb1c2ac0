#include "foundation/Log.hpp"

#include <spdlog/spdlog.h>

namespace veltrano {

void configureLogging(bool verbose) {
  spdlog::set_pattern("%v");
  spdlog::set_level(verbose ? spdlog::level::debug : spdlog::level::info);
  spdlog::flush_on(spdlog::level::info);
}

}  // namespace veltrano
