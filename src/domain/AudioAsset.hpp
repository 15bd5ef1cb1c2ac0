#pragma once

#include <array>
#include <string>
#include <tuple>

#include "domain/MyDateTime.hpp"
#include "foundation/Record.hpp"

namespace veltrano {

// Stored as its integer.
enum class AudioAssetCategory : int {
  BUILT_IN_SIGNAL = 0,
  USER_SIGNAL = 1,
  PROGRAMME = 2,
  PROGRAMMED_ANNOUNCEMENT = 3,
};

constexpr std::array<AudioAssetCategory, 4> enumValues(AudioAssetCategory) {
  return {AudioAssetCategory::BUILT_IN_SIGNAL, AudioAssetCategory::USER_SIGNAL,
          AudioAssetCategory::PROGRAMME, AudioAssetCategory::PROGRAMMED_ANNOUNCEMENT};
}

// One stored audio file: built-in signals live in the asset directory, everything else in the
// user data directory.
struct AudioAsset {
  std::string name;
  std::string md5;
  std::string filename;
  // Whole seconds; -1 when unknown.
  int lengthSec = -1;
  AudioAssetCategory storageCategory = AudioAssetCategory::USER_SIGNAL;
  MyDateTime lastModified;

  static constexpr auto fields() {
    return std::tuple{field("name", &AudioAsset::name),
                      field("md5", &AudioAsset::md5),
                      field("filename", &AudioAsset::filename),
                      field("lengthSec", &AudioAsset::lengthSec),
                      field("storageCategory", &AudioAsset::storageCategory),
                      field("lastModified", &AudioAsset::lastModified)};
  }

  bool isSignal() const noexcept {
    return storageCategory == AudioAssetCategory::USER_SIGNAL ||
           storageCategory == AudioAssetCategory::BUILT_IN_SIGNAL;
  }
};

}  // namespace veltrano
