#include "StoreFilesFuzz.hpp"
#include "storage/Database.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  veltrano::fuzz::fuzzStoreText<veltrano::DB>(veltrano::fuzz::asText(data, size));
  return 0;
}
