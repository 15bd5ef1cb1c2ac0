#include "FuzzInput.hpp"
#include "http/Exchange.hpp"
#include "http/UploadForm.hpp"

// Form parts, one a line: "name|filename|content".
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  FormParts parts;
  std::string_view text = fuzz::asText(data, size);
  for (const auto& line : fuzz::split(text, '\n', 6)) {
    auto fields = fuzz::split(line, '|', 3);
    parts.emplace(fields[0], FormPart{fields[0], fields[2], fields[1], ""});
  }
  try {
    auto form = readUploadForm(parts);
    fuzz::require(form.file != nullptr && !form.extension.empty(), "a form without its file");
  } catch (const BadRequest&) {
  }
  return 0;
}
