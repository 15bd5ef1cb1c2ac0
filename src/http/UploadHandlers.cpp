#include "http/UploadHandlers.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <system_error>

#include "audio/platform/AudioLength.hpp"
#include "foundation/AtomicFile.hpp"
#include "foundation/Crypto.hpp"
#include "http/StaticFiles.hpp"
#include "http/UploadForm.hpp"

namespace veltrano {
namespace {

bool isUploadedSignal(const DB& db, const std::string& md5) {
  return std::any_of(db.songs.begin(), db.songs.end(), [&](const auto& entry) {
    return entry.second.isSignal() && entry.second.md5 == md5;
  });
}

// Removes the saved upload unless the request got as far as storing its record.
class SavedUpload {
 public:
  explicit SavedUpload(std::filesystem::path path) : path_(std::move(path)) {}
  ~SavedUpload() {
    if (path_.empty())
      return;
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  SavedUpload(const SavedUpload&) = delete;
  SavedUpload& operator=(const SavedUpload&) = delete;

  void keep() noexcept { path_.clear(); }

 private:
  std::filesystem::path path_;
};

// Safe inside a quoted header parameter.
std::string headerSafe(std::string text) {
  std::erase_if(text, [](char c) {
    return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
  return text;
}

}  // namespace

void upload_file(HttpContext& context, Exchange& exchange) {
  UploadForm form = readUploadForm(exchange.request().files);
  const auto& file = *form.file;
  std::string id = randomUuid();
  bool programmed = form.programme.has_value();
  std::optional<Programme> programme;
  if (programmed)
    programme = Programme::fromUserInput(id, form.programme->date, form.programme->time);

  std::string md5 = md5Hex(file.content);
  // Checked again before adding; this only spares writing an obvious duplicate.
  if (!programmed && isUploadedSignal(context.stores.lock().db(), md5)) {
    throw BadRequest("File is already uploaded");
  }

  std::string filename = id + "." + form.extension;
  auto path = context.paths.getUserFilePath(filename);
  writeFileAtomically(path, file.content);
  SavedUpload saved(path);

  AudioAsset asset;
  asset.name = programmed ? form.programme->programName : form.name;
  asset.md5 = md5;
  asset.filename = filename;
  asset.lengthSec = getAudioLength(path.string());
  // A file the player cannot decode would be offered as a bell that never sounds.
  if (asset.lengthSec < 0)
    throw BadRequest("Not an audio file the player can play");
  asset.storageCategory =
      programmed ? AudioAssetCategory::PROGRAMME : AudioAssetCategory::USER_SIGNAL;

  std::string answer;
  {
    auto access = context.stores.lock();
    DB& db = access.db();
    if (!programmed && isUploadedSignal(db, md5))
      throw BadRequest("File is already uploaded");
    db.songs.add(std::move(asset), id);
    answer = programmed ? db.programmes.add(std::move(*programme)) : id;
  }
  saved.keep();
  exchange.json(answer);
}

void get_signal_file(HttpContext& context, Exchange& exchange) {
  std::string id = exchange.pathParameter(1);
  std::filesystem::path path;
  {
    auto access = context.stores.lock();
    const AudioAsset* asset = access.db().songs.find(id);
    if (!asset)
      throw HttpError(404, "Not Found");
    try {
      path = context.songs.getSongAssetPath(*asset);
    } catch (const std::invalid_argument& e) {
      spdlog::warn(std::string("Signal file not served: ") + e.what());
      throw HttpError(404, "Not Found");
    }
  }
  sendFile(exchange, path, "inline; filename=\"" + headerSafe(path.filename().string()) + "\"");
}

}  // namespace veltrano
