#include "StoreFilesFuzz.hpp"
#include "foundation/Shadow.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  veltrano::fuzz::fuzzStoreText<veltrano::Shadow>(veltrano::fuzz::asText(data, size));
  return 0;
}
