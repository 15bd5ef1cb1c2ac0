#pragma once

#include <cstddef>

#include "http/Exchange.hpp"
#include "http/HttpContext.hpp"

namespace veltrano {

// The largest request body accepted (an upload with its form fields).
inline constexpr std::size_t MAX_UPLOAD_BYTES = 100 * 1024 * 1024;

// POST /upload, multipart: "file" (.wav, .mp3 or .mp4) and, for a programmed song,
// "programName", "date" and "time". Stores the file as <new id>.<ext> in the user data
// directory and answers the new song's key (a user signal) or the new programme's key.
// Only content that decodes as MP3 or WAVE is kept.
// Hashes and saves without the store lock; a refused upload leaves no file behind.
void upload_file(HttpContext& context, Exchange& exchange);

// GET /get_signal_file/<id>: the asset's audio file, inline; 404 for an unknown id or a
// missing file.
void get_signal_file(HttpContext& context, Exchange& exchange);

}  // namespace veltrano
