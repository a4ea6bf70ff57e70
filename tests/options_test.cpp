#include "cli/options.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr int kTape = 3;
constexpr int kRoll = 0;

struct Parsed {
    bool accepted;
    FormatRequest request;
    OptionFlags flags;
};

Parsed parse(int model_class, std::vector<std::string> words) {
    words.insert(words.begin(), "zkpapertoollpr_test");
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    Parsed parsed{false, {}, {}};
    parsed.request.model_class = model_class;
    parsed.accepted =
        parse_options(static_cast<int>(argv.size()), argv.data(), parsed.request, parsed.flags);
    return parsed;
}

struct SizingCase {
    const char* what;
    int model_class;
    std::vector<std::string> words;
    bool accepted;
    std::int64_t width;
    std::int64_t height;
    const char* media;
    std::int64_t print_dots;
};

// Names each case in test listings.
void PrintTo(const SizingCase& c, std::ostream* out) { *out << c.what; }

class TapeSizing : public testing::TestWithParam<SizingCase> {};

}  // namespace

TEST_P(TapeSizing, GivesTheTableValues) {
    const SizingCase& c = GetParam();
    const Parsed parsed = parse(c.model_class, c.words);
    ASSERT_EQ(parsed.accepted, c.accepted) << c.what;
    if (!c.accepted) return;
    EXPECT_EQ(parsed.request.width, c.width) << c.what;
    EXPECT_EQ(parsed.request.height, c.height) << c.what;
    EXPECT_EQ(parsed.request.media, c.media) << c.what;
    EXPECT_EQ(parsed.request.print_dots, c.print_dots) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Options, TapeSizing,
    testing::Values(
        SizingCase{"3.5 mm tape", kTape, {"-w", "3", "-h", "50"}, true, 2, 50, "_zkS3.5mm_", 24},
        SizingCase{"12 mm tape", kTape, {"-w", "12", "-h", "50"}, true, 10, 50, "_zkS12mm__", 70},
        SizingCase{"printable width asked", kTape, {"-w", "10", "-h", "50"}, true, 10, 50, "", 70},
        SizingCase{"24 mm tape", kTape, {"-w", "24", "-h", "50"}, true, 22, 50, "_zkS24mm__", 128},
        SizingCase{"wider than tape", kTape, {"-w", "25"}, false, 0, 0, "", 0},
        SizingCase{"36 mm listed on screen", kTape, {"-w", "36"}, false, 0, 0, "", 0},
        SizingCase{"heat-shrink name first",
                   kTape,
                   {"-n", "HS12", "-w", "12", "-h", "800"},
                   true,
                   9,
                   500,
                   "_zkHS12mm_",
                   66},
        SizingCase{"name after the sizes",
                   kTape,
                   {"-w", "12", "-h", "800", "-n", "HS12"},
                   true,
                   10,
                   800,
                   "_zkS12mm__",
                   70},
        SizingCase{
            "wide heat-shrink tube", kTape, {"-n", "tube hs", "-w", "30"}, true, 30, 0, "", 0},
        SizingCase{"Hs is not heat-shrink", kTape, {"-n", "Hs", "-w", "30"}, false, 0, 0, "", 0},
        SizingCase{"short length", kTape, {"-h", "2"}, true, 0, 4, "", 0},
        SizingCase{"long length", kTape, {"-h", "5000"}, true, 0, 1000, "", 0},
        SizingCase{"later width keeps media",
                   kTape,
                   {"-w", "3", "-w", "10"},
                   true,
                   10,
                   0,
                   "_zkS3.5mm_",
                   70},
        SizingCase{"later wide tube keeps row",
                   kTape,
                   {"-n", "HS", "-w", "12", "-w", "30"},
                   true,
                   30,
                   0,
                   "_zkHS12mm_",
                   66},
        SizingCase{
            "roll label unchanged", kRoll, {"-w", "62", "-h", "5000"}, true, 62, 5000, "", 0},
        SizingCase{"digits then letters", kRoll, {"-w", "12mm"}, true, 12, 0, "", 0},
        SizingCase{"blank and sign", kRoll, {"-w", " +12"}, true, 12, 0, "", 0},
        SizingCase{"letters only", kRoll, {"-w", "wide"}, false, 0, 0, "", 0},
        SizingCase{"zero", kRoll, {"-h", "0"}, false, 0, 0, "", 0},
        SizingCase{"negative", kRoll, {"-w", "-12"}, false, 0, 0, "", 0},
        SizingCase{"nothing printable across", kRoll, {"-w", "3"}, false, 0, 0, "", 0},
        SizingCase{"nothing printable along", kRoll, {"-h", "6"}, false, 0, 0, "", 0},
        SizingCase{"smallest printable roll", kRoll, {"-w", "4", "-h", "7"}, true, 4, 7, "", 0},
        SizingCase{"dots beyond int32", kRoll, {"-w", "200000000"}, false, 0, 0, "", 0},
        SizingCase{
            "saturating strtol", kRoll, {"-h", "99999999999999999999999"}, false, 0, 0, "", 0},
        SizingCase{"largest size", kRoll, {"-w", "100000000"}, true, 100000000, 0, "", 0}));

TEST(ParseOptions, RecognisesOptionsByTheirFirstTwoCharacters) {
    const Parsed parsed = parse(kTape, {"-Printer", "TX-M88", "-delete", "Old"});
    ASSERT_TRUE(parsed.accepted);
    EXPECT_TRUE(parsed.flags.printer_given);
    EXPECT_TRUE(parsed.flags.delete_given);
    EXPECT_FALSE(parsed.flags.add_given);
    EXPECT_EQ(parsed.request.printer, "TX-M88");
    EXPECT_EQ(parsed.request.label, "Old");
    EXPECT_FALSE(parse(kTape, {"-x", "1"}).accepted);
    EXPECT_FALSE(parse(kTape, {"P", "TX"}).accepted);
    EXPECT_FALSE(parse(kTape, {"-", "TX"}).accepted);
}

TEST(ParseOptions, ALaterValueReplacesAnEarlierOneWhole) {
    const Parsed parsed = parse(kTape, {"-n", "A rather long label name", "-n", "ab"});
    ASSERT_TRUE(parsed.accepted);
    EXPECT_EQ(parsed.request.label, "ab");
}

TEST(ParseOptions, BoundsTheLengthOfEveryValue) {
    EXPECT_TRUE(parse(kTape, {"-n", std::string(32, 'x')}).accepted);
    EXPECT_FALSE(parse(kTape, {"-n", std::string(33, 'x')}).accepted);
    EXPECT_FALSE(parse(kTape, {"-d", ""}).accepted);
    EXPECT_TRUE(parse(kTape, {"-P", std::string(1024, 'p')}).accepted);
    EXPECT_FALSE(parse(kTape, {"-P", std::string(1025, 'p')}).accepted);
    EXPECT_FALSE(parse(kTape, {"-P", ""}).accepted);
    EXPECT_TRUE(parse(kRoll, {"-w", std::string(31, ' ') + "9"}).accepted);
    EXPECT_FALSE(parse(kRoll, {"-w", std::string(32, ' ') + "9"}).accepted);
}

TEST(ParseOptions, RefusesANameThatWouldSplitADriverLine) {
    EXPECT_FALSE(parse(kTape, {"-n", "two\nlines"}).accepted);
    EXPECT_FALSE(parse(kTape, {"-d", "two\nlines"}).accepted);
    EXPECT_TRUE(parse(kTape, {"-n", "tab\tand \"quotes\""}).accepted);
}
