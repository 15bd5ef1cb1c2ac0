#pragma once

#include <spdlog/spdlog.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "foundation/AtomicFile.hpp"
#include "foundation/Json.hpp"
#include "foundation/JsonLimits.hpp"
#include "foundation/Record.hpp"

namespace veltrano {

// A store file that exists but cannot be used: not JSON, or not the record it should hold.
class StoreLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A write the autosave decided on, to be done without holding the store lock.
struct PendingSave {
  std::filesystem::path path;
  std::string text;
  std::size_t hash = 0;
};

// Why a store's file could not be written, kept from the first failure in a row until a save
// succeeds.
struct SaveError {
  std::string reason;
  std::string since;  // local time of the first failure, YYYY-MM-DDTHH:MM:SS
};

// One JSON file holding one record. The record lives in memory and reaches the file only
// through saveForce or an autosave that sees a changed content hash. A record type may
// check (and migrate) the parsed file with `static bool checkAfterLoad(Json&)`.
// Not thread-safe: reach it through Stores, which holds the lock.
template <RecordType T>
class StorageWrapper {
 public:
  T& record() noexcept { return wrapped_; }
  const T& record() const noexcept { return wrapped_; }
  T* operator->() noexcept { return &wrapped_; }
  const T* operator->() const noexcept { return &wrapped_; }

  const std::optional<std::filesystem::path>& path() const noexcept { return path_; }

  // The record a store file's text holds; nullopt when its check refuses it; StoreLoadError
  // naming the file when it is not a JSON object within STORE_JSON_LIMITS or does not decode.
  static std::optional<T> decodeStoreText(std::string_view text, const std::string& name) {
    return decodeStoreJson(parseStoreText(text, name), name);
  }

  // False when the file is missing or unreadable, or its check refused it (a refused file
  // is first kept as a copy beside it, since the next save would replace it). A file that
  // is present but not valid JSON, passes STORE_JSON_LIMITS, or does not decode, throws
  // StoreLoadError naming it. A record larger than its type is built for (sizeProblem) is
  // loaded whole, with a warning: nothing of a user's data is dropped.
  bool load(const std::filesystem::path& path) {
    path_ = path;
    std::optional<Json> loaded;
    {
      std::optional<std::string> content = readStoreFile(path);
      if (!content)
        return false;
      loaded = parseStoreText(*content, path.string());
    }  // the text goes before the record is built
    auto decoded = decodeStoreJson(std::move(*loaded), path.string());
    if (!decoded) {
      keepRefusedCopy(path);
      return false;
    }
    if constexpr (requires(const T& record) {
                    { record.sizeProblem() } -> std::convertible_to<std::string>;
                  }) {
      if (std::string problem = decoded->sizeProblem(); !problem.empty()) {
        spdlog::warn("The file " + path.string() + " holds more than the program is built for (" +
                     problem + "); all of it is loaded, but the player may be slow");
      }
    }
    wrapped_ = std::move(*decoded);
    return true;
  }

  // Writes the file now, whatever changed.
  void saveForce() {
    if (!path_)
      throw std::logic_error("Store has no file: load it first");
    PendingSave save{*path_, toJson(wrapped_), contentHash(wrapped_)};
    commit(save);
  }

  // True when it wrote the file. The first call only takes the baseline.
  bool saveAuto() {
    auto pending = prepareAutoSave();
    if (!pending)
      return false;
    commit(*pending);
    return true;
  }

  // The autosave decision, split so the caller can write outside the lock: returns the
  // write to make, or nothing. Call markSaved after the write succeeded.
  std::optional<PendingSave> prepareAutoSave() {
    std::size_t current = contentHash(wrapped_);
    if (!hash_) {
      hash_ = current;
      return std::nullopt;
    }
    if (*hash_ == current)
      return std::nullopt;
    if (!path_)
      throw std::logic_error("Store has no file: load it first");
    return PendingSave{*path_, toJson(wrapped_), current};
  }

  // Puts a record in force whose text was just written to the file at path (content hash
  // savedHash): the autosave writes again only what changes after this.
  void replaceRecord(T record, std::filesystem::path path, std::size_t savedHash) {
    wrapped_ = std::move(record);
    path_ = std::move(path);
    hash_ = savedHash;
    saveError_.reset();
  }

  void markSaved(const PendingSave& save) noexcept {
    hash_ = save.hash;
    saveError_.reset();
  }

  // A save failed; since counts only for the first failure in a row.
  void markSaveFailed(std::string reason, std::string since) {
    ++saveFailures_;
    if (saveError_) {
      saveError_->reason = std::move(reason);
    } else {
      saveError_ = SaveError{std::move(reason), std::move(since)};
    }
  }
  // Nothing while saves succeed.
  const std::optional<SaveError>& saveError() const noexcept { return saveError_; }
  // Failed saves since the program started, retries counted.
  std::uint64_t saveFailures() const noexcept { return saveFailures_; }

 private:
  void commit(const PendingSave& save) {
    writeFileAtomically(save.path, save.text);
    markSaved(save);
  }

  // The file's content; nothing when it cannot be opened or read.
  static std::optional<std::string> readStoreFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
      return std::nullopt;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    auto tooLarge = [&] {
      return StoreLoadError("Cannot load " + path.string() + ": the file is larger than " +
                            std::to_string(STORE_JSON_LIMITS.maxBytes) + " bytes");
    };
    if (!error && size > STORE_JSON_LIMITS.maxBytes)
      throw tooLarge();
    std::string content;
    if (!error)
      content.reserve(static_cast<std::size_t>(size));
    char buffer[64 * 1024];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
      if (content.size() + static_cast<std::size_t>(in.gcount()) > STORE_JSON_LIMITS.maxBytes)
        throw tooLarge();
      content.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad())
      return std::nullopt;
    return content;
  }

  static Json parseStoreText(std::string_view text, const std::string& name) {
    Json loaded;
    try {
      loaded = parseJson(text, STORE_JSON_LIMITS);
    } catch (const JsonInputError& e) {
      throw StoreLoadError("Cannot load " + name + ": " + e.what());
    }
    if (!loaded.is_object()) {
      throw StoreLoadError("Cannot load " + name + ": the file does not hold a JSON object");
    }
    return loaded;
  }

  static std::optional<T> decodeStoreJson(Json loaded, const std::string& name) {
    if constexpr (requires(Json & json) { T::checkAfterLoad(json); }) {
      if (!T::checkAfterLoad(loaded))
        return std::nullopt;
    }
    try {
      return fromDict<T>(loaded);
    } catch (const DecodeError& e) {
      throw StoreLoadError("Cannot load " + name + ": " + e.what());
    }
  }

  static void keepRefusedCopy(const std::filesystem::path& path) {
    std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    std::filesystem::path copy = path;
    copy += std::string(".refused-") + stamp;
    std::error_code error;
    std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (error) {
      spdlog::error("Could not keep a copy of the refused file " + path.string() + ": " +
                    error.message());
    } else {
      spdlog::warn("The file " + path.string() + " was refused; it is kept as " + copy.string());
    }
  }

  T wrapped_{};
  std::optional<std::filesystem::path> path_;
  std::optional<std::size_t> hash_;
  std::optional<SaveError> saveError_;
  std::uint64_t saveFailures_ = 0;
};

}  // namespace veltrano
