#include "http/BackupHandlers.hpp"

#include <spdlog/spdlog.h>

#include <fstream>
#include <memory>
#include <system_error>

#include "http/AuthHandlers.hpp"
#include "storage/BackupArchive.hpp"

namespace veltrano {
namespace {

// The uploaded archive's file, removed when the request ends.
class UploadedArchive {
 public:
  explicit UploadedArchive(std::filesystem::path path) : path_(std::move(path)) {}
  ~UploadedArchive() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  UploadedArchive(const UploadedArchive&) = delete;
  UploadedArchive& operator=(const UploadedArchive&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

// Receives the multipart body, the part "file" into path; BadRequest when it is missing or
// too large.
void receiveArchive(Exchange& exchange, const httplib::ContentReader& body,
                    const std::filesystem::path& path) {
  if (!exchange.request().is_multipart_form_data())
    throw BadRequest("No file part");
  std::ofstream out;
  bool inFile = false;
  bool sawFile = false;
  std::uint64_t received = 0;
  std::string refusal;
  bool complete = body(
      [&](const httplib::MultipartFormData& part) {
        inFile = part.name == "file" && !part.filename.empty();
        if (!inFile)
          return true;
        if (sawFile) {
          refusal = "Send one archive at a time";
          return false;
        }
        sawFile = true;
        out.open(path, std::ios::binary | std::ios::trunc);
        if (!out)
          refusal = "The player cannot store the upload";
        return static_cast<bool>(out);
      },
      [&](const char* data, std::size_t length) {
        if (!inFile)
          return true;
        received += length;
        if (received > MAX_BACKUP_BYTES) {
          refusal = "The archive is larger than the " +
                    std::to_string(MAX_BACKUP_BYTES / (1024 * 1024)) + " MB a restore reads";
          return false;
        }
        if (!out.write(data, static_cast<std::streamsize>(length))) {
          refusal = "The player cannot store the upload";
          return false;
        }
        return true;
      });
  out.close();
  if (!refusal.empty() || !complete) {
    throw BadRequest(refusal.empty() ? "The upload ended before the archive was complete"
                                     : refusal);
  }
  if (!sawFile)
    throw BadRequest("No file part");
}

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
  auto& response = exchange.response();
  response.status = 200;
  response.set_header("Content-Disposition", "attachment; filename=\"" + backup->fileName + "\"");
  response.set_chunked_content_provider(
      "application/gzip", [backup](std::size_t, httplib::DataSink& sink) {
        try {
          Backups::writeBackup(*backup, [&](std::string_view bytes) {
            if (!sink.write(bytes.data(), bytes.size()))
              throw std::runtime_error("the connection was closed");
          });
          sink.done();
          return true;
        } catch (const std::exception& e) {
          // Too late for an error answer: the browser sees the download break off.
          spdlog::error(std::string("The backup download did not complete: ") + e.what());
          return false;
        }
      });
}

void get_snapshots(HttpContext& context, Exchange& exchange) {
  Json list = Json::array();
  for (const auto& snapshot : context.backups.snapshots()) {
    Json entry = Json::object();
    entry["name"] = snapshot.name;
    entry["created"] = snapshot.created;
    entry["reason"] = reasonText(snapshot.reason);
    entry["size"] = snapshot.size;
    list.push_back(std::move(entry));
  }
  exchange.json(list);
}

void restore_upload(HttpContext& context, Exchange& exchange, const httplib::ContentReader& body,
                    SessionSigner& sessions) {
  UploadedArchive upload(context.backups.newWorkPath(".tar.gz"));
  receiveArchive(exchange, body, upload.path());
  restoreAndAnswer(context, exchange, sessions, [&](const Backups::WhileInForce& inForce) {
    return context.backups.restoreArchive(upload.path(), inForce);
  });
}

void restore_snapshot(HttpContext& context, Exchange& exchange, SessionSigner& sessions) {
  std::string name = exchange.pathParameter(1);
  restoreAndAnswer(context, exchange, sessions, [&](const Backups::WhileInForce& inForce) {
    return context.backups.restoreSnapshot(name, inForce);
  });
}

}  // namespace veltrano
