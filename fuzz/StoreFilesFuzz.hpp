#pragma once

#include "FuzzInput.hpp"
#include "foundation/StorageWrapper.hpp"

namespace veltrano::fuzz {

// A store file's text decodes to a record or is refused with StoreLoadError; a decoded
// record saves to a text that loads back as the same record.
template <RecordType T>
void fuzzStoreText(std::string_view text) {
  std::optional<T> record;
  try {
    record = StorageWrapper<T>::decodeStoreText(std::string(text), "store");
  } catch (const StoreLoadError&) {
    return;
  }
  if (!record)
    return;
  std::string saved = toJson(*record);
  auto again = StorageWrapper<T>::decodeStoreText(saved, "saved");
  require(again.has_value(), "a saved store is refused by its own check");
  require(*again == *record, "a saved store loads back different");
  require(toJson(*again) == saved, "saving is not stable");
}

}  // namespace veltrano::fuzz
