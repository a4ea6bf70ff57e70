#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "store/store.h"
#include "support.h"

namespace {

using Calls = std::vector<std::vector<std::string>>;

constexpr timeval kClock{0x61, 0x1F3A7};

class OperationsTest : public testing::Test {
protected:
    void lay_out(const std::string& model, int model_class) {
        request_.model_class = model_class;
        request_.model_dir = model;
        request_.printer = "Shop floor";
        paths_ = driver_paths(root_.path(), model);
        std::filesystem::create_directories(paths_.inf_dir);
        std::filesystem::create_directories(root_ / (model + "/bin/lpd"));
        std::filesystem::copy_file(STANDIN_TOOL, paths_.paper_tool);
        write_file(paths_.function_file, kFunction);
        write_file(paths_.paper_info_file, kPaperInfo);
        write_file(paths_.settings_file, kSettings);
        write_file(paths_.imaging_area_file, kImagingArea);
    }
    void tape(const char* label, std::int64_t width, std::int64_t height, const char* media,
              std::int64_t dots) {
        lay_out("txm88", 3);
        set(label, width, height, media, dots);
    }
    void set(const char* label, std::int64_t width, std::int64_t height, const char* media,
             std::int64_t dots) {
        request_.label = label;
        request_.width = width;
        request_.height = height;
        request_.media = media;
        request_.print_dots = dots;
    }
    std::vector<std::string> files() const {
        return {read_file(paths_.function_file), read_file(paths_.paper_info_file),
                read_file(paths_.settings_file), read_file(paths_.imaging_area_file)};
    }
    void fail_tool(const char* how) { write_file(paths_.paper_tool + ".fail", how); }
    Calls calls() const { return paper_tool_calls(paths_.paper_tool); }

    static constexpr const char* kFunction = "[Function]\n[CustomTape]\n[Options]\n";
    static constexpr const char* kPaperInfo = "Standard/12mm:\t70\t354\n";
    static constexpr const char* kSettings = "Copies=1\n";
    static constexpr const char* kImagingArea = "Standard:\t0.00\t0.00\t28.00\t141.52\n";

    TempDir root_;
    DriverPaths paths_;
    FormatRequest request_;
};

}  // namespace

TEST_F(OperationsTest, AddRegistersTheFormatAndWritesThreeFiles) {
    tape("New Label", 10, 50, "_zkS12mm__", 70);
    ASSERT_TRUE(add_label_format(request_, paths_, kClock).ok());

    const std::string id = "ZkL_zkS12mm__090A0321F3A7";
    EXPECT_EQ(calls(), (Calls{{paths_.paper_tool, "-P", "Shop floor", "-n", "New Label", "-w", "10",
                               "-h", "50", "-specid", id, "-show", "1"}}));
    EXPECT_EQ(files(), (std::vector<std::string>{
                           "[Function]\n[CustomTape]\n" + id + "/New Label\n[Options]\n",
                           kPaperInfo + id + "/New Label:\t70\t353\n", kSettings,
                           kImagingArea + id + ":\t0.00\t0.00\t28.00\t141.52\n"}));
}

TEST_F(OperationsTest, AddConvertsSizesPerModelClass) {
    tape("Wide", 22, 1000, "_zkS24mm__", 128);
    ASSERT_TRUE(add_label_format(request_, paths_, kClock).ok());
    EXPECT_NE(files()[1].find(":\t128\t7075\n"), std::string::npos);
    EXPECT_NE(files()[3].find(":\t0.00\t0.00\t51.20\t2830.34\n"), std::string::npos);

    lay_out("lr210", 0);
    set("Address", 62, 100, "", 0);
    ASSERT_TRUE(add_label_format(request_, paths_, kClock).ok());
    EXPECT_EQ(files()[1], std::string(kPaperInfo) + "ZkL073E0641F3A7/Address:\t695\t1108\n");
    EXPECT_EQ(files()[3],
              std::string(kImagingArea) + "ZkL073E0641F3A7:\t0.00\t0.00\t0.00\t283.03\n");
}

TEST_F(OperationsTest, AddPutsTheEntryAfterEveryCustomTapeLineOnALineOfItsOwn) {
    tape("x", 10, 50, "", 70);
    write_file(paths_.function_file, "[CustomTape]\nA\n[CustomTape]");
    ASSERT_TRUE(add_label_format(request_, paths_, kClock).ok());
    const std::string entry = "ZkL010A0321F3A7/x\n";
    EXPECT_EQ(files()[0], "[CustomTape]\n" + entry + "A\n[CustomTape]\n" + entry);
}

TEST_F(OperationsTest, DeleteUndoesAnAddByteForByte) {
    tape("New Label", 10, 50, "_zkS12mm__", 70);
    const std::vector<std::string> before = files();
    ASSERT_TRUE(add_label_format(request_, paths_, kClock).ok());
    // A settings line that chose the format is reset, not removed.
    write_file(paths_.settings_file, std::string(kSettings) + "Media=ZkL_zkS12mm__090A0321F3A7\n");

    ASSERT_TRUE(delete_label_format(request_, paths_).ok());
    std::vector<std::string> expected = before;
    expected[2] += "Media=zkS12mm\n";
    EXPECT_EQ(files(), expected);
    EXPECT_EQ(calls().back(), (std::vector<std::string>{paths_.paper_tool, "-P", "Shop floor", "-d",
                                                        "New Label", "-show", "1"}));
}

TEST_F(OperationsTest, DeleteFindsFormatsWithoutMediaAndWithWideWidths) {
    lay_out("lr380dt", 2);
    set("Roll", 300, 100, "", 0);
    const std::vector<std::string> before = files();
    ASSERT_TRUE(add_label_format(request_, paths_, kClock).ok());
    write_file(paths_.settings_file, std::string(kSettings) + "MediaSize=ZkL0412C0641F3A7\n");
    ASSERT_TRUE(delete_label_format(request_, paths_).ok());
    EXPECT_EQ(files()[0], before[0]);
    EXPECT_EQ(files()[2], std::string(kSettings) + "MediaSize=29X1\n");

    tape("HS tube", 300, 50, "_zkHS12mm_", 66);
    ASSERT_TRUE(add_label_format(request_, paths_, kClock).ok());
    ASSERT_TRUE(delete_label_format(request_, paths_).ok());
    EXPECT_EQ(files(), (std::vector<std::string>{kFunction, kPaperInfo, kSettings, kImagingArea}));
}

TEST_F(OperationsTest, DeleteStopsAtANameMissingFromThePaperInfoFile) {
    tape("Half", 10, 50, "", 70);
    write_file(paths_.function_file, "[CustomTape]\nZkL040A0321F3A7/Half\n");
    write_file(paths_.imaging_area_file, "ZkL040A0321F3A7:\t0.00\t0.00\t28.00\t141.52\n");
    EXPECT_EQ(delete_label_format(request_, paths_).result, RESULT_NOT_FOUND);
    EXPECT_EQ(files()[0], "[CustomTape]\n");
    EXPECT_EQ(files()[3], "ZkL040A0321F3A7:\t0.00\t0.00\t28.00\t141.52\n");
}

TEST_F(OperationsTest, AFailingPaperToolTouchesNoFile) {
    tape("New Label", 10, 50, "_zkS12mm__", 70);
    const std::vector<std::string> before = files();
    for (const char* how : {"1", "-15"}) {  // an exit status, then death by SIGTERM
        fail_tool(how);
        EXPECT_EQ(add_label_format(request_, paths_, kClock).result, RESULT_COMMAND_FAILED);
        EXPECT_EQ(delete_label_format(request_, paths_).result, RESULT_COMMAND_FAILED);
        EXPECT_EQ(files(), before);
    }
    std::filesystem::remove(paths_.paper_tool);
    EXPECT_EQ(delete_label_format(request_, paths_).result, RESULT_COMMAND_FAILED);
}

TEST_F(OperationsTest, AMissingFunctionFileIsNotFoundForDeleteButAnErrorForAdd) {
    tape("New Label", 10, 50, "_zkS12mm__", 70);
    std::filesystem::remove(paths_.function_file);
    EXPECT_EQ(delete_label_format(request_, paths_).result, RESULT_NOT_FOUND);
    const Outcome added = add_label_format(request_, paths_, kClock);
    EXPECT_EQ(added.result, RESULT_FILE_ERROR);
    EXPECT_EQ(added.error, ENOENT);
    EXPECT_EQ(calls().size(), 2u);
}
