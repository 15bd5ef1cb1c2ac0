#include "http/UploadForm.hpp"

#include <algorithm>
#include <array>
#include <string_view>

#include "domain/Date.hpp"
#include "domain/TimeOfDay.hpp"
#include "foundation/Paths.hpp"
#include "http/Exchange.hpp"

namespace veltrano {
namespace {

constexpr std::array<std::string_view, 3> ACCEPTED_EXTENSIONS{"wav", "mp3", "mp4"};

// The request's own part (get_file_value would copy a whole upload).
const FormPart* formPart(const FormParts& parts, const std::string& name) {
  auto found = parts.find(name);
  return found == parts.end() ? nullptr : &found->second;
}

std::string requireFormField(const FormParts& parts, const std::string& name) {
  const auto* part = formPart(parts, name);
  if (!part)
    throw BadRequest("Missing form field: " + name);
  return part->content;
}

}  // namespace

UploadForm readUploadForm(const FormParts& parts) {
  UploadForm form;
  form.file = formPart(parts, "file");
  if (!form.file || form.file->filename.empty())
    throw BadRequest("No file part");
  std::tie(form.name, form.extension) = getFileNameAndExtension(form.file->filename);
  if (std::find(ACCEPTED_EXTENSIONS.begin(), ACCEPTED_EXTENSIONS.end(), form.extension) ==
      ACCEPTED_EXTENSIONS.end()) {
    throw BadRequest("Bad format: " + form.extension);
  }
  const auto* programName = formPart(parts, "programName");
  if (!programName || programName->content.empty())
    return form;
  ProgrammeForm programme{programName->content, requireFormField(parts, "date"),
                          requireFormField(parts, "time")};
  try {
    Date::decode(programme.date);
  } catch (const std::exception&) {
    throw BadRequest("Invalid date: " + programme.date);
  }
  try {
    TimeOfDay::decode(programme.time);
  } catch (const std::exception&) {
    throw BadRequest("Invalid time: " + programme.time);
  }
  form.programme = std::move(programme);
  return form;
}

}  // namespace veltrano
