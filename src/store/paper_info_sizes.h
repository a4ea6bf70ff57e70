// The sizes the paper info file holds for the formats of the function file. Adds leave
// its entries in the reverse order of the function file's (the function file's newest
// first, the paper info file's newest last), so that asked for in the function file's
// order they are found in one backward pass; in any other order they are found too,
// with more reading. Memory stays bounded whatever the file holds.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "durable/backward_lines.h"
#include "durable/line_reader.h"
#include "durable/outcome.h"
#include "store/key_counts.h"

struct Dots {
    long long width = 0;
    long long length = 0;
};

/// The sizes after a paper info entry's name, up to the line's first zero byte, as
/// sscanf(":\t%lld\t%lld") reads them (the driver's "<name>:\t<width>\t<length>" in
/// dots); `left`, where given, is set to what follows them. An entry with a negative
/// width holds none.
bool read_dots(std::string_view after, Dots& dots, std::string_view* left = nullptr);

class PaperInfoSizes {
public:
    /// On a tape model only formats without media in their identifier are asked for.
    explicit PaperInfoSizes(bool tape);
    ~PaperInfoSizes();

    /// A missing file holds no sizes. RESULT_FILE_ERROR when it cannot be opened
    /// otherwise or is not a regular file.
    Outcome open(const std::string& path);
    const std::string& path() const { return path_; }

    /// Where find() looks `key` up in memory; asked for a few keys ahead, it is fetched
    /// meanwhile.
    using Place = KeyCounts::Bits;
    Place expect(std::string_view key);

    enum class Found { kNo, kYes, kLater };
    /// The sizes of the first entry of `key` ("<identifier>/<name>", expected at
    /// `place`) that holds them. kLater: only a read of the whole file can tell; ask
    /// find_all. kNo also after a failed read (error()).
    Found find(std::string_view key, const Place& place, Dots& dots);

    /// Sets each key of `wanted` (whose texts must outlive the call) to the sizes of its
    /// first entry that holds them, in one read of the file at most. Returns 0 or the
    /// errno of a failed read.
    using Wanted = std::unordered_map<std::string_view, std::optional<Dots>>;
    int find_all(Wanted& wanted);

    /// The errno of the read that failed; 0 if none did.
    int error() const { return error_; }

private:
    std::string_view counted_id(std::string_view text) const;
    bool count_entries();

    const bool tape_;
    std::string path_;
    bool missing_ = false;
    InputFile file_;
    std::unique_ptr<BackwardLines> backward_;
    std::unique_ptr<KeyCounts> counts_;  // after count_entries
    int misses_ = 0;                     // backward searches that found nothing
    int error_ = 0;
};
