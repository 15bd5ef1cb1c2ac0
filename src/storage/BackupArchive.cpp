#include "storage/BackupArchive.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "foundation/Crypto.hpp"
#include "foundation/Json.hpp"
#include "foundation/JsonLimits.hpp"
#include "foundation/TarGzReader.hpp"
#include "foundation/TextChecks.hpp"
#include "foundation/Utf8.hpp"

namespace veltrano {
namespace {

constexpr std::string_view MANIFEST_NAME = "manifest.json";
constexpr std::string_view FORMAT_NAME = "veltrano-backup";
constexpr std::string_view AUDIO_PREFIX = "audio/";
constexpr std::array<std::string_view, 3> STORE_NAMES{"_db.json", "_shadow.json", "cache.json"};
constexpr std::array<std::string_view, 3> AUDIO_EXTENSIONS{"wav", "mp3", "mp4"};
constexpr std::size_t MAX_NAME_BYTES = 255;
constexpr std::size_t MAX_SHOWN_NAME = 80;
// A manifest lists each entry with three members, beside a few of its own.
constexpr JsonLimits MANIFEST_JSON_LIMITS{.maxBytes = MAX_MANIFEST_BYTES,
                                          .maxDepth = 4,
                                          .maxValues = 12 + 4 * MAX_ARCHIVE_ENTRIES,
                                          .maxStringBytes = 64 * 1024};
constexpr std::size_t CHUNK_BYTES = 64 * 1024;

[[noreturn]] void refuse(const std::string& reason) {
  throw BackupRefused(reason);
}

// An entry's name as a message may quote it.
std::string shown(const std::string& name) {
  if (!isValidUtf8(name))
    return "an entry whose name is not valid UTF-8";
  std::string text = truncateUtf8(name, MAX_SHOWN_NAME);
  std::replace_if(
      text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }, '?');
  return "\"" + text + (text.size() < name.size() ? "...\"" : "\"");
}

// Refuses names that could reach outside the directory they are unpacked to.
void checkEntryPath(const std::string& name) {
  if (name.empty())
    refuse("The archive holds an entry without a name");
  if (!isValidUtf8(name))
    refuse("The archive holds " + shown(name));
  bool driveLetter = name.size() >= 2 && name[1] == ':';
  if (name.front() == '/' || name.front() == '\\' || driveLetter)
    refuse("The archive holds " + shown(name) + ", an absolute path");
  if (name.find('\\') != std::string::npos)
    refuse("The archive holds " + shown(name) + ", a name with a backslash");
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = std::min(name.find('/', start), name.size());
    if (name.compare(start, end - start, "..") == 0)
      refuse("The archive holds " + shown(name) + ", which points outside the archive");
    start = end + 1;
  }
}

std::optional<std::size_t> storeIndex(std::string_view name) {
  for (std::size_t i = 0; i < STORE_NAMES.size(); ++i) {
    if (STORE_NAMES[i] == name)
      return i;
  }
  return std::nullopt;
}

std::string& storeText(StoreTexts& texts, std::size_t index) {
  return index == 0 ? texts.db : index == 1 ? texts.shadow : texts.cache;
}
const std::string& storeText(const StoreTexts& texts, std::size_t index) {
  return index == 0 ? texts.db : index == 1 ? texts.shadow : texts.cache;
}

std::filesystem::path utf8Path(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string megabytes(std::uint64_t bytes) {
  return std::to_string(bytes / (1024 * 1024)) + " MB";
}

// What the archive in may unpack to: a bomb of zeros compresses a thousandfold.
std::uint64_t unpackLimitOf(std::istream& in) {
  in.seekg(0, std::ios::end);
  auto size = static_cast<std::streamoff>(in.tellg());
  in.seekg(0);
  if (!in || size < 0)
    throw std::runtime_error("Cannot read the archive");
  return std::min(MAX_BACKUP_BYTES, static_cast<std::uint64_t>(size) * MAX_UNPACK_RATIO);
}

[[noreturn]] void refuseTooLarge(std::uint64_t unpackLimit) {
  if (unpackLimit < MAX_BACKUP_BYTES) {
    refuse("The archive is too large: it unpacks to more than " + std::to_string(MAX_UNPACK_RATIO) +
           " times its own size, which no backup does");
  }
  refuse("The archive is too large: it unpacks to more than the " + megabytes(MAX_BACKUP_BYTES) +
         " a restore reads");
}

struct FileFacts {
  std::uint64_t size = 0;
  std::string sha256;
};

// Hands the current entry's content to sink; refuses content longer or shorter than declared.
std::string copyEntry(TarGzReader& reader, const std::string& name, std::uint64_t declared,
                      const std::function<void(std::string_view)>& sink) {
  Sha256 digest;
  std::vector<char> buffer(CHUNK_BYTES);
  std::uint64_t total = 0;
  while (std::size_t got = reader.read(buffer.data(), buffer.size())) {
    total += got;
    if (total > declared)
      refuse("The archive's entry " + shown(name) + " is longer than its header says");
    std::string_view bytes(buffer.data(), got);
    digest.update(bytes);
    sink(bytes);
  }
  if (total != declared)
    refuse("The archive is truncated: " + shown(name) + " is incomplete");
  return digest.hex();
}

bool isSha256Hex(const Json& value) {
  if (!value.is_string())
    return false;
  const auto& text = value.get_ref<const std::string&>();
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

struct Manifest {
  std::string programVersion;
  std::string created;
  std::optional<RestoreSource> beforeRestoring;
  std::map<std::string, FileFacts> files;
};

// Only a note for people: one that is not as written is left out, not refused.
std::optional<RestoreSource> restoreSourceOf(const Json& manifest) {
  auto found = manifest.find("beforeRestoring");
  if (found == manifest.end() || !found->is_object())
    return std::nullopt;
  auto kind = found->find("kind");
  auto name = found->find("name");
  if (kind == found->end() || name == found->end() || !kind->is_string() || !name->is_string())
    return std::nullopt;
  RestoreSource source{kind->get<std::string>(), name->get<std::string>()};
  bool known = source.kind == "snapshot" || source.kind == "file";
  if (!known || !isValidUtf8(source.name) || source.name.size() > MAX_NAME_BYTES)
    return std::nullopt;
  return source;
}

Manifest parseManifest(const std::string& text) {
  const std::string invalid = "The archive's manifest is not valid";
  Json json;
  try {
    json = parseJson(text, MANIFEST_JSON_LIMITS);
  } catch (const JsonInputError&) {
    refuse(invalid);
  }
  if (!json.is_object())
    refuse(invalid);
  auto format = json.find("format");
  auto version = json.find("formatVersion");
  if (format == json.end() || *format != FORMAT_NAME)
    refuse("This is not a Veltrano Player backup");
  if (version == json.end() || !version->is_number_integer() || version->get<long long>() < 1)
    refuse(invalid);
  if (version->get<long long>() > BACKUP_FORMAT_VERSION) {
    refuse("The backup was made by a newer version of the program (format " +
           std::to_string(version->get<long long>()) + "); this one reads format " +
           std::to_string(BACKUP_FORMAT_VERSION));
  }
  Manifest manifest;
  auto text_of = [&](const char* key) {
    auto found = json.find(key);
    return found != json.end() && found->is_string() ? found->get<std::string>() : "";
  };
  manifest.programVersion = text_of("programVersion");
  manifest.created = text_of("created");
  manifest.beforeRestoring = restoreSourceOf(json);
  auto files = json.find("files");
  if (files == json.end() || !files->is_array() || files->size() > MAX_ARCHIVE_ENTRIES)
    refuse(invalid);
  for (const Json& file : *files) {
    if (!file.is_object())
      refuse(invalid);
    auto name = file.find("name");
    auto size = file.find("size");
    auto sha256 = file.find("sha256");
    if (name == file.end() || !name->is_string() || size == file.end() ||
        !size->is_number_unsigned() || sha256 == file.end() || !isSha256Hex(*sha256)) {
      refuse(invalid);
    }
    FileFacts facts{size->get<std::uint64_t>(), sha256->get<std::string>()};
    if (!manifest.files.emplace(name->get<std::string>(), facts).second)
      refuse(invalid);
  }
  return manifest;
}

// The archive's files must be exactly those of its manifest, byte for byte.
void compareWithManifest(const Manifest& manifest, const std::map<std::string, FileFacts>& read) {
  for (const auto& [name, facts] : manifest.files) {
    auto found = read.find(name);
    if (found == read.end())
      refuse("The archive lacks " + shown(name) + ", which its manifest lists");
    if (found->second.size != facts.size || found->second.sha256 != facts.sha256)
      refuse("The archive is damaged: " + shown(name) + " does not match its manifest");
  }
  for (const auto& [name, facts] : read) {
    if (!manifest.files.contains(name))
      refuse("The archive holds " + shown(name) + ", which its manifest does not list");
  }
}

Json fileFacts(const std::string& name, std::uint64_t size, const std::string& sha256) {
  Json facts = Json::object();
  facts["name"] = name;
  facts["size"] = size;
  facts["sha256"] = sha256;
  return facts;
}

void writeAudioFile(TarGzWriter& writer, const AudioFileRef& audio, std::time_t modified,
                    Json& files) {
  std::ifstream in(audio.path, std::ios::binary);
  std::error_code error;
  std::uint64_t size = std::filesystem::file_size(audio.path, error);
  if (!in || error)
    throw std::runtime_error("Cannot read the audio file " + audio.name);
  std::string name = std::string(AUDIO_PREFIX) + audio.name;
  writer.beginFile(name, size, modified);
  Sha256 digest;
  std::vector<char> buffer(CHUNK_BYTES);
  for (std::uint64_t left = size; left > 0;) {
    in.read(buffer.data(),
            static_cast<std::streamsize>(std::min<std::uint64_t>(left, CHUNK_BYTES)));
    auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0)
      throw std::runtime_error("The audio file " + audio.name + " changed while it was backed up");
    std::string_view bytes(buffer.data(), got);
    writer.write(bytes);
    digest.update(bytes);
    left -= got;
  }
  files.push_back(fileFacts(name, size, digest.hex()));
}

}  // namespace

bool isAudioFileName(std::string_view name) {
  if (name.empty() || name.size() > MAX_NAME_BYTES || name.front() == '.' || !isValidUtf8(name))
    return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f || c == '/' || c == '\\' || c == ':')
      return false;
  }
  auto dot = name.rfind('.');
  if (dot == std::string_view::npos)
    return false;
  std::string extension(name.substr(dot + 1));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::find(AUDIO_EXTENSIONS.begin(), AUDIO_EXTENSIONS.end(), extension) !=
         AUDIO_EXTENSIONS.end();
}

void writeBackupArchive(const BackupContent& content, const TarGzWriter::Sink& sink) {
  TarGzWriter writer(sink);
  Json files = Json::array();
  for (std::size_t i = 0; i < STORE_NAMES.size(); ++i) {
    std::string name(STORE_NAMES[i]);
    const std::string& text = storeText(content.stores, i);
    writer.addFile(name, text, content.modified);
    files.push_back(fileFacts(name, text.size(), getHash(text)));
  }
  for (const auto& audio : content.audio)
    writeAudioFile(writer, audio, content.modified, files);

  Json manifest = Json::object();
  manifest["format"] = FORMAT_NAME;
  manifest["formatVersion"] = BACKUP_FORMAT_VERSION;
  manifest["programVersion"] = content.programVersion;
  manifest["created"] = content.created;
  if (content.beforeRestoring) {
    manifest["beforeRestoring"] =
        Json{{"kind", content.beforeRestoring->kind}, {"name", content.beforeRestoring->name}};
  }
  manifest["files"] = std::move(files);
  writer.addFile(std::string(MANIFEST_NAME), manifest.dump(2), content.modified);
  writer.finish();
}

CheckedArchive readBackupArchive(std::istream& in, const std::filesystem::path& stagingDir) {
  CheckedArchive out;
  std::array<bool, STORE_NAMES.size()> haveStore{};
  std::optional<std::string> manifestText;
  std::map<std::string, FileFacts> read;
  std::uint64_t total = 0;
  std::size_t entries = 0;
  const std::uint64_t unpackLimit = unpackLimitOf(in);
  try {
    TarGzReader reader(in, unpackLimit);
    while (auto entry = reader.next()) {
      const std::string& name = entry->name;
      if (++entries > MAX_ARCHIVE_ENTRIES)
        refuse("The archive holds more than " + std::to_string(MAX_ARCHIVE_ENTRIES) + " entries");
      if (entry->kind == TarEntry::Kind::LINK)
        refuse("The archive holds a link, " + shown(name) + ": links are refused");
      checkEntryPath(name);
      if (entry->kind == TarEntry::Kind::DIRECTORY && (name == "audio" || name == "audio/"))
        continue;
      if (entry->kind != TarEntry::Kind::FILE)
        refuse("The archive holds " + shown(name) + ", which is not a plain file");

      auto store = storeIndex(name);
      bool isManifest = name == MANIFEST_NAME;
      bool isAudio = name.starts_with(AUDIO_PREFIX) &&
                     isAudioFileName(std::string_view(name).substr(AUDIO_PREFIX.size()));
      if (!store && !isManifest && !isAudio)
        refuse("The archive holds " + shown(name) + ", which no backup has");
      if (read.contains(name) || (isManifest && manifestText))
        refuse("The archive holds " + shown(name) + " twice");
      if (!entry->size)
        refuse("The archive's entry " + shown(name) + " does not say its size");
      std::uint64_t size = *entry->size;
      std::uint64_t limit = isManifest ? MAX_MANIFEST_BYTES
                            : store    ? MAX_STORE_FILE_BYTES
                                       : MAX_BACKUP_BYTES;
      total += size;
      if (size > limit) {
        refuse("The archive is too large: " + shown(name) + " goes beyond the " + megabytes(limit) +
               " such a file may have");
      }
      if (total > unpackLimit)
        refuseTooLarge(unpackLimit);

      if (isManifest) {
        manifestText.emplace();
        copyEntry(reader, name, size, [&](std::string_view b) { manifestText->append(b); });
        continue;
      }
      FileFacts facts{size, ""};
      if (store) {
        std::string& text = storeText(out.stores, *store);
        facts.sha256 = copyEntry(reader, name, size, [&](std::string_view b) { text.append(b); });
        haveStore[*store] = true;
      } else {
        std::string audioName = name.substr(AUDIO_PREFIX.size());
        auto staged = stagingDir / utf8Path(audioName);
        std::ofstream file(staged, std::ios::binary | std::ios::trunc);
        if (!file)
          throw std::runtime_error("Cannot write " + staged.string());
        facts.sha256 = copyEntry(reader, name, size, [&](std::string_view b) {
          if (!file.write(b.data(), static_cast<std::streamsize>(b.size())))
            throw std::runtime_error("Cannot write " + staged.string());
        });
        file.close();
        if (!file)
          throw std::runtime_error("Cannot write " + staged.string());
        out.audio.emplace(audioName, staged);
      }
      read.emplace(name, std::move(facts));
    }
  } catch (const ArchiveTooLarge&) {
    refuseTooLarge(unpackLimit);
  } catch (const ArchiveError& e) {
    refuse(e.what());
  }

  if (!manifestText)
    refuse("The archive has no manifest: it is not a Veltrano Player backup, or it is truncated");
  Manifest manifest = parseManifest(*manifestText);
  compareWithManifest(manifest, read);
  for (std::size_t i = 0; i < STORE_NAMES.size(); ++i) {
    if (!haveStore[i])
      refuse("The archive lacks " + std::string(STORE_NAMES[i]));
  }
  out.programVersion = manifest.programVersion;
  out.created = manifest.created;
  out.beforeRestoring = manifest.beforeRestoring;
  return out;
}

}  // namespace veltrano
