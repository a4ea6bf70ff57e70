// What a plan does to the lines of the four driver files, as line filters and trailers.
//
// A format's own lines are its entry in the function file and its line in the paper
// info file, "<identifier>/<name>"; the imaging area and settings files key it by the
// identifier alone. So a format whose identifier another entry also lists loses only its
// own two lines; the identifier's other lines stay for the entry that still lists it.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "durable/rewrite.h"
#include "label/request.h"
#include "store/plan.h"

/// The identifiers a format of `plan` leaves that other entries of the function file
/// still list afterwards (comments are no entries). Returns 0 or the errno of a failed read.
int find_shared_ids(const std::string& function_file, const Plan& plan,
                    std::unordered_set<std::string>& shared);

class FormatEdits {
public:
    /// The edits of `plan` on `model`'s driver; `shared` from find_shared_ids. The
    /// objects must outlive the filters.
    FormatEdits(const Plan& plan, const FormatRequest& model,
                const std::unordered_set<std::string>& shared);

    /// Writes every new entry after each insertion mark (counted in `marks`), in the
    /// plan's order; drops the entries the plan takes out. Comments stay as they are.
    LineFilter function_file(int& marks) const;
    /// Drops the lines the plan takes out, counted in `dropped`.
    LineFilter paper_info(int& dropped) const;
    /// A line that chose a deleted format chooses the model's default media; one that
    /// chose a replaced format, the format that replaces it.
    LineFilter settings() const;
    LineFilter imaging_area() const;

    /// The new formats' lines, newest last as single adds leave them.
    const std::string& entries() const { return entries_; }
    const std::string& paper_info_lines() const { return paper_info_; }
    const std::string& imaging_area_lines() const { return imaging_area_; }

private:
    struct Taken {
        std::vector<std::string> names;  // whose own lines go
        bool shared = false;             // another entry keeps the identifier's other lines
        std::string replaced_by;         // the identifier a settings line chooses now, or ""
    };
    const Taken* taken_by(std::string_view line, std::string_view& id) const;
    Needles needles(std::string_view also) const;

    bool tape_;
    std::unordered_map<std::string, Taken> taken_;
    std::string single_id_;  // the one identifier taken out, searched for; else the tag
    std::string entries_, paper_info_, imaging_area_;
    mutable std::string settings_line_;
};
