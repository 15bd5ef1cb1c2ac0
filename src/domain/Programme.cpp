#include "domain/Programme.hpp"

#include <utility>

namespace veltrano {

Programme Programme::fromUserInput(std::string id, std::string_view date, std::string_view time) {
  Programme programme;
  programme.date = Date::decode(date);
  programme.time = TimeOfDay::decode(time);
  programme.songId = std::move(id);
  programme.deleteAfterPlay = true;
  return programme;
}

}  // namespace veltrano
