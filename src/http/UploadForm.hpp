#pragma once

#include <optional>
#include <string>

#include "http/HttpMessage.hpp"

namespace veltrano {

// When the form asks for a programmed song: its name and when it plays, as checked texts.
struct ProgrammeForm {
  std::string programName;
  std::string date;
  std::string time;
};

// The checked parts of an upload form; the file part stays in the request.
struct UploadForm {
  const FormPart* file = nullptr;
  std::string name;
  std::string extension;
  std::optional<ProgrammeForm> programme;
};

// Reads and checks the form before anything is written; BadRequest with the system's texts.
UploadForm readUploadForm(const FormParts& parts);

}  // namespace veltrano
