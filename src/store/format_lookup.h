// Finding formats and identifiers in a model's driver files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "durable/outcome.h"

/// Finds the identifier of the first line of the function file `path` that carries
/// `name` (which holds no newline), comments left out. RESULT_OK with `id` set;
/// RESULT_NOT_FOUND when no line does or the file is missing; RESULT_FILE_ERROR when it
/// cannot be opened otherwise, is not a regular file, or a read fails. With `marks`, also
/// counts the insertion marks, in the same read.
Outcome find_format_id(const std::string& path, std::string_view name, std::string& id,
                       int* marks = nullptr);

/// Steps the time fields of `id` (microseconds first, carrying into the seconds) until
/// no whole identifier in the files at `paths` equals it, so that no two formats share
/// one, however still the clock stands. RESULT_OK, also when a file cannot be read
/// (writing it will fail then); RESULT_FILE_ERROR (EEXIST) when every value is taken.
Outcome choose_unused_format_id(const std::vector<std::string>& paths, std::string& id);

/// Counts the insertion marks (is_insertion_mark) of the function file `path` in
/// `marks`. RESULT_OK when it has one; RESULT_FILE_ERROR with the errno when it cannot
/// be read, or no_insertion_mark() when it has none, so that an add would list nothing.
Outcome find_insertion_mark(const std::string& path, int& marks);

/// The failure of an add to the function file `path`, which has no insertion mark.
Outcome no_insertion_mark(const std::string& path);

/// The sizes a format was registered with, as its identifier `id` and the paper info
/// file give them: the identifier keeps only a length's low 12 bits, which for a roll
/// label the paper info line's length in dots completes.
struct FormatSize {
    std::int64_t width = 0;
    std::int64_t length = 0;
};
FormatSize find_format_size(const std::string& paper_info_file, bool tape, std::string_view id);
