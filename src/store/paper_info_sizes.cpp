#include "store/paper_info_sizes.h"

#include <cerrno>
#include <cstring>
#include <iterator>

#include "store/format_entry.h"

namespace {

bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A number as sscanf's "%lld" reads it: blanks, a sign, decimal digits, saturating.
bool read_number(std::string_view& text, long long& number) {
    const char* at = text.data();
    const char* const end = at + text.size();
    while (at < end && is_blank(*at)) ++at;
    const bool negative = at < end && *at == '-';
    if (at < end && (*at == '-' || *at == '+')) ++at;
    const char* const digits = at;
    unsigned long long value = 0;
    bool over = false;
    for (; at < end && static_cast<unsigned>(*at - '0') < 10; ++at) {
        // Eighteen digits cannot overflow.
        const unsigned digit = static_cast<unsigned>(*at - '0');
        if (at - digits < 18) {
            value = value * 10 + digit;
        } else {
            over |= __builtin_mul_overflow(value, 10u, &value);
            over |= __builtin_add_overflow(value, digit, &value);
        }
    }
    if (at == digits) return false;
    const unsigned long long most = negative ? 1ull << 63 : (1ull << 63) - 1;
    if (over || value > most) value = most;
    number = negative ? static_cast<long long>(0 - value) : static_cast<long long>(value);
    text.remove_prefix(static_cast<std::size_t>(at - text.data()));
    return true;
}

}  // namespace

bool read_dots(std::string_view after, Dots& dots, std::string_view* left) {
    if (after.empty() || after[0] != ':') return false;
    after.remove_prefix(1);
    if (!read_number(after, dots.width) || !read_number(after, dots.length) || dots.width < 0)
        return false;
    if (left) *left = after;
    return true;
}

// After this many backward searches that find nothing (the file is in some other
// order), a key is only ever looked for by find_all.
constexpr int kMostMisses = 8;

PaperInfoSizes::PaperInfoSizes(bool tape) : tape_(tape) {}
PaperInfoSizes::~PaperInfoSizes() = default;

Outcome PaperInfoSizes::open(const std::string& path) {
    path_ = path;
    if (const int error = file_.open(path)) {
        missing_ = error == ENOENT;
        return missing_ ? Outcome{} : file_error(error, path);
    }
    backward_ = std::make_unique<BackwardLines>(file_.descriptor(), file_.status().st_size);
    return {};
}

std::string_view PaperInfoSizes::counted_id(std::string_view text) const {
    // An identifier held once is a key held once at most, and adds never give two
    // formats one. Up to the first "/" it is the same in a line and in its key, and is
    // found without reading the line whole.
    const std::string_view id = text.substr(0, text.find('/'));
    const bool media = id.substr(kFormatIdTag.size(), 3) == "_zk";
    return id.size() == text.size() || (tape_ && media) ? std::string_view() : id;
}

// Only a count of the whole file tells whether an entry found is a key's first.
bool PaperInfoSizes::count_entries() {
    counts_ = std::make_unique<KeyCounts>();
    InputFile in;
    if ((error_ = in.open(path_))) return false;
    // Each identifier is added while the bits of the next ones are fetched.
    KeyCounts::Bits ahead[16];
    std::size_t seen = 0;
    Stretch stretch;
    long got;
    while ((got = next_stretch(in, kFormatIdTag, stretch)) > 0) {
        if (stretch.kind != Stretch::kMarked) continue;
        const std::string_view id =
            counted_id(stretch.bytes.substr(stretch.bytes.find(kFormatIdTag)));
        if (id.empty()) continue;
        KeyCounts::Bits& slot = ahead[seen++ % std::size(ahead)];
        if (seen > std::size(ahead)) counts_->add(slot);
        slot = counts_->locate(id);
    }
    for (std::size_t i = seen > std::size(ahead) ? seen - std::size(ahead) : 0; i < seen; ++i)
        counts_->add(ahead[i % std::size(ahead)]);
    error_ = got < 0 ? in.error() : 0;
    return error_ == 0;
}

PaperInfoSizes::Place PaperInfoSizes::expect(std::string_view key) {
    if (missing_ || error_ || (!counts_ && !count_entries())) return {};
    return counts_->locate(counted_id(key));
}

PaperInfoSizes::Found PaperInfoSizes::find(std::string_view key, const Place& bits, Dots& dots) {
    if (missing_ || error_) return Found::kNo;
    if (misses_ >= kMostMisses)
        return counts_->count(bits) == KeyCounts::kNone ? Found::kNo : Found::kLater;
    // After adds, its entry stands right before the last one found: that line is read
    // while the count comes from memory.
    const off_t cursor = backward_->position();
    std::string_view piece;
    int got = backward_->previous(piece);
    if (const KeyCounts::Count count = counts_->count(bits); count != KeyCounts::kOnce) {
        backward_->rewind(cursor);
        // With more than one entry, which comes first?
        return count == KeyCounts::kNone ? Found::kNo : Found::kLater;
    }
    for (; got > 0; got = backward_->previous(piece)) {
        // A line is an entry of the key when the key, itself a whole entry's start,
        // stands at its first tag with no zero byte before.
        const std::size_t tag = piece.find(kFormatIdTag);
        if (tag == std::string_view::npos || piece.compare(tag, key.size(), key) != 0 ||
            std::memchr(piece.data(), '\0', tag))
            continue;
        return read_dots(up_to_first_zero(piece.substr(tag + key.size())), dots) ? Found::kYes
                                                                                 : Found::kNo;
    }
    if (got < 0) {
        error_ = backward_->error();
        return Found::kNo;
    }
    // Behind the cursor, then (or nowhere); the next key may still be before it.
    ++misses_;
    backward_->rewind(cursor);
    return Found::kLater;
}

int PaperInfoSizes::find_all(Wanted& wanted) {
    if (missing_ || wanted.empty()) return 0;
    std::size_t left = wanted.size();
    InputFile in;
    if (const int error = in.open(path_)) return error;
    return for_each_entry(in, [&](const FormatEntry& entry) {
        const auto it = wanted.find(entry.key());
        Dots dots;
        if (it != wanted.end() && !it->second &&
            read_dots(entry.rest.substr(entry.name().size()), dots)) {
            it->second = dots;
            --left;
        }
        return left > 0;
    });
}
