#include "store/format_id.h"

#include <gtest/gtest.h>

#include <string>

#include "support.h"

namespace {

FormatRequest request(const char* media, const char* label, std::int64_t width,
                      std::int64_t height) {
    FormatRequest r;
    r.media = media;
    r.label = label;
    r.width = width;
    r.height = height;
    return r;
}

constexpr timeval kClock{0x61, 0x1F3A7};  // seconds end in 0x1, microseconds in 0xF3A7
constexpr const char* kId = "ZkL_zkS12mm__090A0321F3A7";

}  // namespace

TEST(BuildFormatId, LaysOutTheFieldsInHex) {
    EXPECT_EQ(build_format_id(request("_zkS12mm__", "New Label", 10, 50), kClock), kId);
    // Heights keep their low twelve bits; without media and with a wide width the
    // identifier is shorter or longer than 25.
    EXPECT_EQ(build_format_id(request("", "ab", 62, 0x1064), kClock), "ZkL023E0641F3A7");
    EXPECT_EQ(build_format_id(request("_zkHS12mm_", "HS", 300, 50), kClock),
              "ZkL_zkHS12mm_0212C0321F3A7");
}

TEST(MatchFormatId, FindsTheNameBesideTheIdentifier) {
    EXPECT_EQ(match_format_id("ZkL_zkS12mm__090A0321F3A7/New Label\n", "New Label"), kId);
    EXPECT_EQ(match_format_id("ZkL_zkS12mm__090A0321F3A7/New Label:\t70\t353\n", "New Label"), kId);
    EXPECT_EQ(match_format_id("  ZkL_zkS12mm__090A0321F3A7/New Label", "New Label"), kId);
    // The driver never looked at the separator of the 25-character layout.
    EXPECT_EQ(match_format_id("ZkL_zkS12mm__090A0321F3A7|New Label", "New Label"), kId);
}

TEST(MatchFormatId, MatchesTheWholeNameExactly) {
    const char* line = "ZkL_zkS12mm__090A0321F3A7/New Label\n";
    EXPECT_EQ(match_format_id(line, "new label"), "");
    EXPECT_EQ(match_format_id(line, "New"), "");
    EXPECT_EQ(match_format_id(line, "New Label\n"), "");
    EXPECT_EQ(match_format_id("ZkL_zkS12mm__030A0321F3A7/New Label\n", "New"),
              "ZkL_zkS12mm__030A0321F3A7");
}

TEST(MatchFormatId, NeverReadsPastTheLine) {
    EXPECT_EQ(match_format_id("ZkL_zkS12mm__090A0321F3A7/New Labe", "New Label"), "");
    EXPECT_EQ(match_format_id(std::string("ZkL_zkS12mm__090A0321F3A7/New\0Label", 35), "New Label"),
              "");
    EXPECT_EQ(match_format_id("ZkL_zkS12mm__0", "x"), "");
    EXPECT_EQ(match_format_id("ZkL", "x"), "");
    EXPECT_EQ(match_format_id("ZkL_zkS12mm__zz0A0321F3A7/New Label", "New Label"), "");
}

TEST(MatchFormatId, OnlyTheFirstTagOfALineCounts) {
    EXPECT_EQ(match_format_id("ZkL junk ZkL_zkS12mm__090A0321F3A7/New Label", "New Label"), "");
}

TEST(MatchFormatId, FindsEveryLayoutThisToolWrites) {
    // Roll-label formats carry no media part; a tape width below the printable one
    // chooses none either; heat-shrink tube can be wider than 255 mm.
    EXPECT_EQ(match_format_id("ZkL093E0641F3A7/New Label\n", "New Label"), "ZkL093E0641F3A7");
    EXPECT_EQ(match_format_id("ZkL020A0321F3A7/HS:\t70\t353\n", "HS"), "ZkL020A0321F3A7");
    EXPECT_EQ(match_format_id("ZkL_zkHS12mm_0212C0321F3A7/HS\n", "HS"),
              "ZkL_zkHS12mm_0212C0321F3A7");
    EXPECT_EQ(match_format_id("ZkL_zkHS12mm_02FFFFFFF0321F3A7/HS\n", "HS"),
              "ZkL_zkHS12mm_02FFFFFFF0321F3A7");
}

TEST(MatchFormatId, ReadsNoNameOutOfAnotherFormatsLine) {
    // Read at the fixed offsets, this roll-label line would carry "Here" (length 04
    // at offset 13, text at offset 26): the end of another format's name.
    const char* line = "ZkL0E3E0641F304/Big Long xHere\n";
    EXPECT_EQ(match_format_id(line, "Here"), "");
    EXPECT_EQ(match_format_id(line, "Big Long xHere"), "ZkL0E3E0641F304");
    // Nor out of a wide-width identifier: "/H" at offset 26 is not a name here.
    EXPECT_EQ(match_format_id("ZkL_zkHS12mm_0212C0321F3A7/HS\n", "/H"), "");
}

TEST(ContainsFormatId, CountsOnlyWholeIdentifiers) {
    EXPECT_TRUE(contains_format_id("Media=ZkL093E0641F3A7\n", "ZkL093E0641F3A7"));
    EXPECT_TRUE(contains_format_id("ZkL093E0641F3A7", "ZkL093E0641F3A7"));
    // Width 0x3E0, height 0x641: the shorter identifier is this one's start.
    EXPECT_FALSE(contains_format_id("ZkL093E0641F3A7B/x\n", "ZkL093E0641F3A7"));
    EXPECT_FALSE(contains_format_id(std::string("x\0ZkL093E0641F3A7", 17), "ZkL093E0641F3A7"));
}

TEST(FindFormatId, ReadsTheFirstMatchingLineOfAFile) {
    TempDir dir;
    write_file(dir / "func",
               "[CustomTape]\nZkL_zkS12mm__090A0321F3A7/New Label\n"
               "ZkL_zkS12mm__090A0321F3A8/New Label\n");
    std::string id;
    EXPECT_EQ(find_format_id(dir / "func", "New Label", id).result, RESULT_OK);
    EXPECT_EQ(id, kId);
    EXPECT_EQ(find_format_id(dir / "func", "Old Label", id).result, RESULT_NOT_FOUND);
    EXPECT_EQ(find_format_id(dir / "missing", "New Label", id).result, RESULT_NOT_FOUND);
    EXPECT_EQ(find_format_id(dir.path(), "New Label", id).result, RESULT_FILE_ERROR);
}
