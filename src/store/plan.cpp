#include "store/plan.h"

#include <fcntl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unordered_set>

#include "durable/change_check.h"
#include "durable/commit_record.h"
#include "durable/operation_record.h"
#include "durable/unique_fd.h"
#include "label/fields.h"
#include "label/format_id.h"
#include "label/tape.h"
#include "store/format_edits.h"
#include "store/format_lookup.h"
#include "store/paper_tool.h"
#include "store/plan_steps.h"

namespace {

constexpr const char* kKinds[] = {"add", "delete", "register"};

// A name or printer in one tab-separated field of one line: '%', control characters
// and DEL as %XX.
std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f && c != '%') {
            out += c;
            continue;
        }
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", byte);
        out += hex;
    }
    return out;
}

bool unescaped(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%') {
            out += text[at];
            continue;
        }
        if (at + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[at + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[at + 2])))
            return false;
        out += static_cast<char>(std::stoi(std::string(text.substr(at + 1, 2)), nullptr, 16));
        at += 2;
    }
    return true;
}

bool number(std::string_view text, std::int64_t& out) {
    if (text.empty() || text.size() > 19 ||
        text.find_first_not_of("-0123456789") != std::string_view::npos)
        return false;
    out = std::strtoll(std::string(text).c_str(), nullptr, 10);
    return true;
}

bool identifier(std::string_view text) { return text.empty() || format_id_at(text) == text; }

// A record is trusted as far as its owner could have written it; what it asks of the
// paper tool must be what a command line of theirs could.
bool text_field(const std::string& text, std::size_t most) {
    return !text.empty() && text.size() <= most &&
           text.find_first_of(std::string("\n\0", 2)) == std::string::npos;
}

bool size(std::int64_t millimetres, std::int64_t least) {
    return millimetres >= least && millimetres <= kMaxLabelMillimetres;
}

bool sound(const FormatStep& step) {
    const TapeRow* row = step.media.empty() ? nullptr : tape_row_named(without_padding(step.media));
    const bool registers = step.kind != FormatStep::kDelete;
    return text_field(step.name, kMaxLabelLength) &&
           (step.media.empty() || (row && row->media == step.media)) && step.print_dots >= 0 &&
           step.print_dots <= 1000 && size(step.old_width, 0) && size(step.old_height, 0) &&
           (!registers || (size(step.width, 1) && size(step.height, 1) && !step.id.empty()));
}

}  // namespace

std::string plan_text(const Plan& plan) {
    std::string text = "printer\t" + escaped(plan.printer) + "\n";
    for (const FormatStep& step : plan.steps) {
        text += std::string(kKinds[step.kind]) + "\t" + escaped(step.name) + "\t" +
                std::to_string(step.width) + "\t" + std::to_string(step.height) + "\t" +
                escaped(step.media) + "\t" + std::to_string(step.print_dots) + "\t" + step.id +
                "\t" + step.old_id + "\t" + std::to_string(step.old_width) + "\t" +
                std::to_string(step.old_height) + "\n";
    }
    return text;
}

bool read_plan(std::string_view text, Plan& plan) {
    plan = {};
    bool first = true;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        if (newline == std::string_view::npos) return false;
        const std::vector<std::string_view> f = tab_fields(text.substr(0, newline));
        text.remove_prefix(newline + 1);
        if (first) {
            if (f.size() != 2 || f[0] != "printer" || !unescaped(f[1], plan.printer) ||
                !text_field(plan.printer, kMaxPrinterLength))
                return false;
            first = false;
            continue;
        }
        FormatStep step;
        const auto kind = std::find(std::begin(kKinds), std::end(kKinds), f[0]);
        if (f.size() != 10 || kind == std::end(kKinds) || !unescaped(f[1], step.name) ||
            !number(f[2], step.width) || !number(f[3], step.height) ||
            !unescaped(f[4], step.media) || !number(f[5], step.print_dots) || !identifier(f[6]) ||
            !identifier(f[7]) || !number(f[8], step.old_width) || !number(f[9], step.old_height))
            return false;
        step.kind = static_cast<FormatStep::Kind>(kind - std::begin(kKinds));
        step.id = f[6];
        step.old_id = f[7];
        if (!sound(step)) return false;
        plan.steps.push_back(std::move(step));
    }
    return !first;
}

FormatRequest step_request(const FormatRequest& model, const Plan& plan, const FormatStep& step) {
    FormatRequest request = model;
    request.printer = plan.printer;
    request.label = step.name;
    request.width = step.width;
    request.height = step.height;
    request.media = step.media;
    request.print_dots = step.print_dots;
    return request;
}

Outcome carry_out(const Plan& plan, const FormatRequest& model, const DriverPaths& paths,
                  PlanRun& run, const std::vector<FileEdit>& edits) {
    PlannedFiles planned;
    if (Outcome found = plan_files(plan, model, paths, planned.files, planned.shared); !found.ok())
        return found;
    std::vector<std::string> changed = planned.files;
    std::size_t growth = 0;
    if (Outcome grown = plan_growth(plan, model, paths, growth); !grown.ok()) return grown;
    for (const FileEdit& edit : edits) changed.push_back(edit.path);
    if (Outcome checked = check_changeable(changed, growth); !checked.ok()) return checked;
    const UniqueFd folder(::open(paths.inf_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) return file_error(errno, paths.inf_dir);
    const std::string token = new_change_token();
    // The staged files and the commit record are created before the record's folder
    // sync, which makes their names durable too: the commit then needs no sync of its own.
    FileChange change(token);
    if (Outcome prepared = change.prepare(folder.get(), paths.inf_dir, changed); !prepared.ok())
        return prepared;
    if (Outcome recorded =
            write_operation_record(folder.get(), paths.inf_dir, token, plan_text(plan));
        !recorded.ok())
        return recorded;
    change.names_durable();
    // Without a note a later run cannot wait for a tool we leave; it is no reason to stop.
    ChildNote note;
    (void)note.create(folder.get(), token);
    return run_plan(plan, model, paths,
                    {folder.get(), token, {&note}, false, &edits, &change, &planned}, run);
}
