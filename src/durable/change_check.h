// Finding out, before anything is done that cannot be taken back (a helper program
// run, say), whether a change of files in one folder could be made, so that a refusal
// leaves everything as it was.
//
// Contract: reads only; changes no file and leaves nothing behind. What it cannot know
// in advance (a full disk, a failing device) is found while staging, which then
// changes nothing either (rewrite.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "durable/outcome.h"

/// Whether this process may replace each of `files` (all in one folder) through a
/// staged file and a rename, each growing by up to `growth` bytes: every file exists,
/// is a regular file (no link, no FIFO) and can be read; the folder lets this user
/// create, rename and remove files (its permissions, a read-only mount, the sticky
/// bit, which lets only a file's or the folder's owner replace a file, immutable and
/// append-only flags); no file is mounted over; no file would outgrow the file size
/// limit. RESULT_OK, or RESULT_FILE_ERROR with the errno of the first refusal and the
/// file or folder it concerns. What cannot be known in advance (a full disk, a failing
/// device) is found only while staging.
Outcome check_changeable(const std::vector<std::string>& files, std::size_t growth);
