// Checking a model's driver: its four format files against each other and what killed
// runs left in its folder, read only. A repair is built on the same walk: each problem
// comes with what it needs to mend the line (where it is, what kind, which format).
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "durable/outcome.h"
#include "label/format_id.h"
#include "store/driver_paths.h"

enum class CheckProblem {
    kUnfinishedChange,  // a commit record a killed run left (the folder's entry)
    kUndoneOperation,   // an operation record a killed run left
    kTemporaryFile,     // a staged file of a killed run, or an earlier version's ".$$$"
    kMissing,           // a driver file that does not exist
    kNotRegularFile,    // a link, a folder, a FIFO...
    kNoInsertionMark,   // a function file without a [CustomTape] line
    kUnreadableId,      // a line holds "ZkL" but no identifier the tool can parse
    kNoName,            // an identifier without "/" and a name as long as it says
    kNoSizes,           // a paper info entry without sizes, an imaging area line without
                        // its area
    kJoined,            // a line with more than its entry: another line joined to it
    kNameTwice,         // an entry whose name an earlier entry lists (that one is kept)
    kIdTwice,           // an entry whose identifier an earlier entry of another name lists
    kLineTwice,         // a paper info line of a format, or an imaging area line of an
                        // identifier, that an earlier line holds (that one is kept)
    kWithoutPaperInfo,  // an entry whose format no paper info line holds with sizes
    kOrphan,            // a paper info line of a format no entry lists, or an imaging area
                        // or settings line of an identifier no entry lists
};

/// The text a problem prints as; fixed, for scripts.
const char* check_problem_text(CheckProblem problem);

/// One problem found. The views are valid during the call only.
struct CheckRecord {
    std::string_view path;  // the driver file; for a leftover, the entry in the folder
    long line = 0;          // the line at fault, from 1; 0 where no line is
    CheckProblem problem = CheckProblem::kMissing;
    std::string_view id;    // the format identifier concerned, where the line holds one
    std::string_view name;  // the format's name, for lines of the function and paper info
                            // files that carry it
    long kept_line = 0;     // kNameTwice, kIdTwice, kLineTwice: the earlier line
    const char* text = "";  // check_problem_text(problem)
};

using CheckTake = std::function<void(const CheckRecord&)>;

/// Under the driver lock (DriverLock::kInspect, so that what killed runs left is still
/// there), reads the driver's folder and four files, changing nothing, and calls `take`
/// with each problem: first what killed runs left (in name order), then the files in the
/// order of DriverPaths::format_files, each in line order (a file's own problem first).
/// A function file line whose first non-blank character is ';' or '#' is a comment,
/// never an entry; so is such a line of the other files. A name's entry is its topmost
/// one; a format's lines in the paper info file are those that carry its name, in the
/// imaging area and settings files those that hold its identifier.
///
/// Memory stays bounded as --list's does: what one file holds is looked up in fixed-size
/// filters (key_counts.h), and only the few texts a filter counts more than once are kept
/// exactly. A filter can only miss a problem, never make one up: an orphan line or an
/// entry without a paper info line is missed when its text is taken for one the other
/// file holds, for fewer than one text in ten million at 100,000 formats.
///
/// RESULT_OK after the last problem; RESULT_FILE_ERROR when the folder or a file cannot
/// be read (a missing file or one that is not a regular file is a problem, not a
/// failure); problems found before the failure have been taken.
Outcome check_driver(const DriverPaths& paths, const CheckTake& take);

/// The files whose lines may be joined to others.
enum class JoinedFile { kFunction, kPaperInfo, kImagingArea };

/// Where a line of `file` that the check reports as joined falls apart into lines of its
/// own for certain: the offsets in `line` at which a newline goes, before each whole
/// entry but a first one that starts the line (blanks aside). Empty when the split is not
/// certain: what follows an entry is not blank and no whole entry.
std::vector<std::size_t> joined_line_splits(JoinedFile file, std::string_view line);

/// Calls `each` with every whole entry a function file line lists, as the check counts
/// them: the first at the line's first tag and each glued right after the one before.
/// A name's own text is never taken for an entry.
void for_each_listed_entry(std::string_view line,
                           const std::function<void(const FormatEntry&)>& each);
