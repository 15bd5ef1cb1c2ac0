#include "StoreFilesFuzz.hpp"
#include "storage/Cache.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  veltrano::fuzz::fuzzStoreText<veltrano::Cache>(veltrano::fuzz::asText(data, size));
  return 0;
}
