#include "http/BackupHandlers.hpp"

#include <spdlog/spdlog.h>

#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "http/AuthHandlers.hpp"
#include "http/MultipartReader.hpp"
#include "http/StaticFiles.hpp"
#include "storage/BackupArchive.hpp"

namespace veltrano {
namespace {

// Takes the restore's multipart body as it arrives, the part "file" into a file of its own;
// anything else in the form is skipped.
class ArchiveReceiver final : public BodySink {
 public:
  ArchiveReceiver(WorkArea::Lease file, const std::string& contentType)
      : archive_(std::move(file)) {
    auto boundary = MultipartReader::boundaryOf(contentType);
    if (!boundary) {
      refusal_ = "No file part";
      return;
    }
    reader_.emplace(
        *boundary, [this](const FormPart& part) { return beginPart(part); },
        [this](std::string_view bytes) { return takeContent(bytes); });
  }

  bool write(std::string_view bytes) override {
    if (!refusal_.empty())
      return false;
    if (!reader_->feed(bytes) && refusal_.empty())
      refusal_ = "The upload is not a valid form";
    return refusal_.empty();
  }

  // The archive's file once the whole form has arrived; BadRequest with the reason otherwise.
  const std::filesystem::path& receivedArchive() {
    out_.close();
    if (!refusal_.empty())
      throw BadRequest(refusal_);
    if (!reader_->complete())
      throw BadRequest("The upload ended before the archive was complete");
    if (!sawFile_)
      throw BadRequest("No file part");
    return archive_.path();
  }

  // The name the browser gave the archive's file.
  const std::string& fileName() const noexcept { return fileName_; }

 private:
  bool beginPart(const FormPart& part) {
    if (inFile_)
      out_.close();
    inFile_ = part.name == "file" && !part.filename.empty();
    if (!inFile_)
      return true;
    if (sawFile_) {
      refusal_ = "Send one archive at a time";
      return false;
    }
    sawFile_ = true;
    fileName_ = part.filename;
    out_.open(archive_.path(), std::ios::binary | std::ios::trunc);
    if (!out_)
      refusal_ = "The player cannot store the upload";
    return static_cast<bool>(out_);
  }

  bool takeContent(std::string_view bytes) {
    if (!inFile_)
      return true;
    received_ += bytes.size();
    if (received_ > MAX_BACKUP_BYTES) {
      refusal_ = "The archive is larger than the " +
                 std::to_string(MAX_BACKUP_BYTES / (1024 * 1024)) + " MB a restore reads";
      return false;
    }
    if (!out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
      refusal_ = "The player cannot store the upload";
      return false;
    }
    return true;
  }

  WorkArea::Lease archive_;
  std::optional<MultipartReader> reader_;
  std::ofstream out_;
  bool inFile_ = false;
  bool sawFile_ = false;
  std::uint64_t received_ = 0;
  std::string refusal_;
  std::string fileName_;
};

// Runs a restore and answers it. The session was signed under the key of the password in
// force; it stays valid only when the restored password record is the same.
template <class Restore>
void restoreAndAnswer(HttpContext& context, Exchange& exchange, SessionSigner& sessions,
                      const Restore& restore) {
  bool loggedIn = exchange.session().loggedIn;
  std::string keyBefore = sessionSigningKey(context.stores.lock().shadow());
  bool keyKept = true;
  bool passwordSet = false;
  Backups::RestoreOutcome outcome;
  try {
    outcome = restore([&](Stores::Access& access) {
      std::string key = sessionSigningKey(access.shadow());
      keyKept = key == keyBefore;
      passwordSet = access.shadow().isPasswordSet();
      if (!keyKept)
        sessions.setKey(std::move(key));
    });
  } catch (const BackupRefused& e) {
    throw BadRequest(e.what());
  } catch (const std::exception& e) {
    spdlog::error(std::string("Restore failed: ") + e.what());
    throw HttpError(500, std::string("The restore failed: ") + e.what());
  }
  // Another password ends every login: a browser must prove it knows the restored one.
  if (!keyKept)
    exchange.endAllLogins();
  Json answer = Json::object();
  answer["snapshot"] = outcome.snapshot;
  answer["loggedIn"] = !passwordSet || (keyKept && loggedIn);
  answer["missingAudioFiles"] = outcome.missingAudioFiles;
  exchange.json(answer);
}

}  // namespace

void get_backup(HttpContext& context, Exchange& exchange) {
  std::shared_ptr<const Backups::Prepared> backup;
  try {
    backup = std::make_shared<const Backups::Prepared>(context.backups.prepareBackup());
  } catch (const BackupRefused& e) {
    throw BadRequest(e.what());
  }
  // Made whole before it is sent, so the browser learns its size and a failure still gets
  // an error answer.
  auto file = std::make_shared<WorkArea::Lease>(context.backups.newWorkFile(".tar.gz"));
  {
    std::ofstream out(file->path(), std::ios::binary | std::ios::trunc);
    Backups::writeBackup(*backup, [&](std::string_view bytes) {
      if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        throw std::runtime_error("Cannot write the backup to disk");
    });
    out.close();
    if (!out)
      throw std::runtime_error("Cannot write the backup to disk");
  }
  sendFile(exchange, file->path(), "attachment; filename=\"" + backup->fileName + "\"");
  // The answer reads the file as it goes; the file goes with the answer.
  auto producer = std::move(exchange.response().producer);
  exchange.response().producer = [producer = std::move(producer), file](std::string& out) {
    return producer(out);
  };
  exchange.response().setHeader("Content-Type", "application/gzip");
}

void get_snapshots(HttpContext& context, Exchange& exchange) {
  Json list = Json::array();
  for (const auto& [snapshot, contents] : context.backups.snapshotListings()) {
    Json entry = Json::object();
    entry["name"] = snapshot.name;
    entry["created"] = snapshot.created;
    entry["reason"] = reasonText(snapshot.reason);
    entry["size"] = snapshot.size;
    if (contents.readable) {
      entry["contents"] = Json{{"timetables", contents.timetables},
                               {"events", contents.events},
                               {"uploadedSignals", contents.uploadedSignals},
                               {"passwordSet", contents.passwordSet}};
    } else {
      entry["contents"] = nullptr;
    }
    if (contents.beforeRestoring) {
      entry["restoring"] =
          Json{{"kind", contents.beforeRestoring->kind}, {"name", contents.beforeRestoring->name}};
    }
    list.push_back(std::move(entry));
  }
  exchange.json(list);
}

std::unique_ptr<BodySink> makeArchiveReceiver(WorkArea::Lease file,
                                              const std::string& contentType) {
  return std::make_unique<ArchiveReceiver>(std::move(file), contentType);
}

void restore_upload(HttpContext& context, Exchange& exchange, SessionSigner& sessions) {
  auto* receiver = dynamic_cast<ArchiveReceiver*>(exchange.bodySink());
  if (!receiver)
    throw BadRequest("No file part");
  const auto& archive = receiver->receivedArchive();
  std::string fileName = receiver->fileName();
  restoreAndAnswer(context, exchange, sessions, [&](const Backups::WhileInForce& inForce) {
    return context.backups.restoreArchive(archive, inForce, fileName);
  });
}

void restore_snapshot(HttpContext& context, Exchange& exchange, SessionSigner& sessions) {
  std::string name = exchange.pathParameter(1);
  const auto& params = exchange.request().params;
  auto asked = params.find("restorePassword");
  bool restorePassword = false;
  if (asked != params.end()) {
    if (asked->second != "true" && asked->second != "false")
      throw BadRequest("restorePassword must be true or false");
    restorePassword = asked->second == "true";
  }
  restoreAndAnswer(context, exchange, sessions, [&](const Backups::WhileInForce& inForce) {
    return context.backups.restoreSnapshot(name, inForce, !restorePassword);
  });
}

}  // namespace veltrano
