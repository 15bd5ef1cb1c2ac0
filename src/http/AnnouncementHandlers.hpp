#pragma once

#include "http/Exchange.hpp"
#include "http/HttpContext.hpp"

namespace veltrano {

// POST /db/announcements/speak, JSON {"text", "voice": id or null, "at": null or
// "YYYY-MM-DDTHH:MM:SS"}. Speaks the text into a WAVE file; without "at" plays it at once
// after the announcement signal and answers true, with "at" programmes it like a downloaded
// announcement (removed once played) and answers the new id. 400 with the reason for bad
// input, 500 when the synthesizer fails; no file is left behind either way.
void announcements_speak(HttpContext& context, Exchange& exchange);

// POST /db/announcements/preview, the same JSON ("at" is ignored): answers the spoken text as
// audio/wav for the browser to play, and keeps nothing.
void announcements_preview(HttpContext& context, Exchange& exchange);

}  // namespace veltrano
