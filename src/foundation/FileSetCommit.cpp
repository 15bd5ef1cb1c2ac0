#include "foundation/FileSetCommit.hpp"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "foundation/AtomicFile.hpp"
#include "foundation/FileSync.hpp"
#include "foundation/Json.hpp"
#include "foundation/JsonLimits.hpp"

namespace veltrano {
namespace {

// A marker lists a few files; anything larger is not one of ours.
constexpr std::uintmax_t MAX_MARKER_BYTES = 1024 * 1024;

std::string utf8Of(const std::filesystem::path& path) {
  auto text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

std::filesystem::path pathOf(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// Only paths below the directory: a marker must not move anything elsewhere.
bool isBelow(const std::filesystem::path& path) {
  if (path.empty() || path.has_root_path())
    return false;
  for (const auto& part : path) {
    if (part.empty() || part == "." || part == "..")
      return false;
  }
  return true;
}

}  // namespace

FileSetCommit::FileSetCommit(std::filesystem::path directory, std::string markerName)
    : directory_(std::move(directory)), marker_(directory_ / markerName) {}

void FileSetCommit::add(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!isBelow(from) || !isBelow(to) || std::distance(to.begin(), to.end()) != 1)
    throw std::invalid_argument("Not a file of the directory: " + from.string() + ", " +
                                to.string());
  renames_.emplace_back(from, to);
}

void FileSetCommit::commit() {
  Json list = Json::array();
  for (const auto& [from, to] : renames_)
    list.push_back(Json::array({utf8Of(from), utf8Of(to)}));
  // The point of no return: once this is on the disk, the new set is the one in force.
  writeFileAtomically(marker_, Json{{"renames", list}}.dump());
  apply(renames_);
}

bool FileSetCommit::isPending() const {
  std::error_code error;
  return std::filesystem::exists(marker_, error) || error;
}

bool FileSetCommit::finishPending() {
  if (!isPending())
    return false;
  apply(readMarker());
  return true;
}

FileSetCommit::Renames FileSetCommit::readMarker() const {
  const std::string unusable = "The commit marker " + marker_.string() + " is unusable";
  std::error_code error;
  if (std::filesystem::file_size(marker_, error) > MAX_MARKER_BYTES || error)
    throw std::runtime_error(unusable);
  std::ifstream in(marker_, std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(in), {});
  Json json;
  try {
    json = parseJson(text, STORE_JSON_LIMITS);
  } catch (const JsonInputError&) {
    throw std::runtime_error(unusable);
  }
  if (!json.is_object() || !json.contains("renames") || !json["renames"].is_array())
    throw std::runtime_error(unusable);
  Renames renames;
  for (const Json& entry : json["renames"]) {
    if (!entry.is_array() || entry.size() != 2 || !entry[0].is_string() || !entry[1].is_string())
      throw std::runtime_error(unusable);
    auto from = pathOf(entry[0].get<std::string>());
    auto to = pathOf(entry[1].get<std::string>());
    if (!isBelow(from) || !isBelow(to) || std::distance(to.begin(), to.end()) != 1)
      throw std::runtime_error(unusable);
    renames.emplace_back(std::move(from), std::move(to));
  }
  return renames;
}

void FileSetCommit::apply(const Renames& renames) {
  for (const auto& [from, to] : renames) {
    std::error_code error;
    // A file no longer there was renamed before an interruption.
    if (!std::filesystem::exists(directory_ / from, error) && !error)
      continue;
    std::filesystem::rename(directory_ / from, directory_ / to, error);
    if (error)
      throw std::runtime_error("Cannot put " + (directory_ / to).string() +
                               " in place: " + error.message());
  }
  syncDirectory(directory_);
  std::error_code error;
  std::filesystem::remove(marker_, error);
  if (error)
    throw std::runtime_error("Cannot remove " + marker_.string() + ": " + error.message());
  syncDirectory(directory_);
}

}  // namespace veltrano
