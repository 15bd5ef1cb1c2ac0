#pragma once

#include <string>
#include <string_view>
#include <tuple>

#include "domain/Date.hpp"
#include "domain/TimeOfDay.hpp"
#include "foundation/Record.hpp"

namespace veltrano {

// A one-off play of a song at a given day and second.
struct Programme {
  std::string songId = "NULL";
  Date date;
  TimeOfDay time;
  // The programme and its song are deleted once the play has started.
  bool deleteAfterPlay = true;

  static constexpr auto fields() {
    return std::tuple{field("songId", &Programme::songId), field("date", &Programme::date),
                      field("time", &Programme::time),
                      field("deleteAfterPlay", &Programme::deleteAfterPlay)};
  }

  // From the dashboard's texts; a bad date or time throws and nothing is built.
  static Programme fromUserInput(std::string id, std::string_view date, std::string_view time);
};

}  // namespace veltrano
