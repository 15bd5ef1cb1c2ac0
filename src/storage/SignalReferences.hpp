#pragma once

#include <string>

#include "storage/Database.hpp"

namespace veltrano {

// Points every bell, custom play and programme that plays the song `id` at "NULL" instead,
// so that a deleted signal leaves explicit silence rather than a dangling id. The alarm and
// announcement settings are not touched: those signals are refused for deletion instead.
// Answers how many places changed.
int releaseSongReferences(DB& db, const std::string& id);
// As releaseSongReferences, but points them at `replacement` (a song id, or "NULL").
int replaceSongReferences(DB& db, const std::string& id, const std::string& replacement);

// Throws std::invalid_argument, in words for the user, when the settings name a signal the
// database lacks: the alarm must always have a sound, and the announcement lead-in is a signal
// or "NULL" for none.
void checkSettingsSignals(const DB& db);

}  // namespace veltrano
