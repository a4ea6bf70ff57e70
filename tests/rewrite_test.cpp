#include "store/rewrite.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "store/line_reader.h"
#include "support.h"

namespace {

class RewriteTest : public testing::Test {
protected:
    std::string file(const std::string& bytes) {
        write_file(path_, bytes);
        return path_;
    }
    mode_t mode() const {
        struct stat status;
        lstat(path_.c_str(), &status);
        return status.st_mode & 07777;
    }
    std::vector<std::string> only_the_file() const { return {"file"}; }

    TempDir dir_;
    std::string path_ = dir_ / "file";
};

LineDecision drop_b(std::string_view line) {
    return line.find('b') != std::string_view::npos ? LineDecision{LineDecision::kDrop, {}}
                                                    : LineDecision{};
}

}  // namespace

TEST_F(RewriteTest, PassesEveryByteThroughAndMakesTheFileWritableForAll) {
    // A line far longer than one piece, zero bytes, and no final newline.
    std::string bytes = "first\n" + std::string(3 * kLinePieceBytes + 7, 'x') + "\n";
    bytes += std::string("nul\0byte\n", 9) + "\n\nlast without newline";
    chmod(file(bytes).c_str(), 0600);

    ASSERT_TRUE(rewrite_file(path_, copy_all).ok());
    EXPECT_EQ(read_file(path_), bytes);
    EXPECT_EQ(mode(), 0666u);
    EXPECT_EQ(list_folder(dir_.path()), only_the_file());
}

TEST_F(RewriteTest, AppliesEachDecisionToWholeLines) {
    const std::string long_b(2 * kLinePieceBytes, 'b');
    file("a1\nb2\n" + long_b + "\nc3\n[x]\nd4\n");
    const LineFilter filter = [](std::string_view line) {
        if (line.rfind("c", 0) == 0) return LineDecision{LineDecision::kReplace, "C\n"};
        if (line == "[x]\n") return LineDecision{LineDecision::kCopyThenAdd, "added\n"};
        return drop_b(line);
    };
    ASSERT_TRUE(rewrite_file(path_, filter, "trailer\n").ok());
    EXPECT_EQ(read_file(path_), "a1\nC\n[x]\nadded\nd4\ntrailer\n");
}

TEST_F(RewriteTest, NeverJoinsAnAddedLineToAnUnfinishedOne) {
    file("[x]");
    const LineFilter filter = [](std::string_view) {
        return LineDecision{LineDecision::kCopyThenAdd, "added\n"};
    };
    ASSERT_TRUE(rewrite_file(path_, filter, "trailer\n").ok());
    EXPECT_EQ(read_file(path_), "[x]\nadded\ntrailer\n");

    file("");
    ASSERT_TRUE(rewrite_file(path_, copy_all, "trailer\n").ok());
    EXPECT_EQ(read_file(path_), "trailer\n");
}

TEST_F(RewriteTest, AMissingFileFailsWithoutATemporaryFile) {
    const Outcome outcome = rewrite_file(path_, copy_all, "trailer\n");
    EXPECT_EQ(outcome.result, RESULT_FILE_ERROR);
    EXPECT_EQ(outcome.error, ENOENT);
    EXPECT_TRUE(list_folder(dir_.path()).empty());
}

TEST_F(RewriteTest, RefusesALinkAndLeavesItsTargetAlone) {
    const std::string target = dir_ / "target";
    write_file(target, "secret\n");
    chmod(target.c_str(), 0600);
    ASSERT_EQ(symlink(target.c_str(), path_.c_str()), 0);

    const Outcome outcome = rewrite_file(path_, copy_all, "trailer\n");
    EXPECT_EQ(outcome.result, RESULT_FILE_ERROR);
    EXPECT_EQ(outcome.error, ELOOP);
    EXPECT_EQ(read_file(target), "secret\n");
    struct stat status;
    stat(target.c_str(), &status);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
}

TEST_F(RewriteTest, RefusesAFifoWithoutWaitingForAWriter) {
    ASSERT_EQ(mkfifo(path_.c_str(), 0644), 0);
    const Outcome outcome = rewrite_file(path_, copy_all);
    EXPECT_EQ(outcome.result, RESULT_FILE_ERROR);
    EXPECT_EQ(outcome.error, EINVAL);
    EXPECT_EQ(list_folder(dir_.path()), only_the_file());
}

TEST_F(RewriteTest, RemovesALeftoverTemporaryFileOrLinkInsteadOfWritingThroughIt) {
    file("line\n");
    const std::string victim = dir_ / "victim";
    write_file(victim, "keep\n");
    ASSERT_EQ(symlink(victim.c_str(), (path_ + ".$$$").c_str()), 0);

    ASSERT_TRUE(rewrite_file(path_, copy_all, "more\n").ok());
    EXPECT_EQ(read_file(path_), "line\nmore\n");
    EXPECT_EQ(read_file(victim), "keep\n");
    EXPECT_FALSE(exists(path_ + ".$$$"));
}

TEST(ReadLine, HandsOutALongLineInBoundedPieces) {
    TempDir dir;
    write_file(dir / "f", std::string(kLinePieceBytes + 3, 'y') + "\nz");
    InputFile in;
    ASSERT_EQ(in.open(dir / "f"), 0);
    std::string_view piece;
    EXPECT_EQ(read_line(in, piece), static_cast<long>(kLinePieceBytes));
    EXPECT_EQ(read_line(in, piece), 4);
    EXPECT_EQ(piece, "yyy\n");
    EXPECT_EQ(read_line(in, piece), 1);
    EXPECT_EQ(read_line(in, piece), 0);
}

TEST(ReadLine, HandsOutWholeLinesAcrossReads) {
    TempDir dir;
    std::string bytes;
    for (int i = 0; i < 30000; ++i) bytes += "line " + std::to_string(i) + "\n";
    write_file(dir / "f", bytes);
    InputFile in;
    ASSERT_EQ(in.open(dir / "f"), 0);
    std::string_view piece;
    std::string joined;
    int lines = 0;
    while (read_line(in, piece) > 0) {
        ASSERT_EQ(piece.back(), '\n');
        ASSERT_EQ(piece.find('\n'), piece.size() - 1);
        joined += piece;
        ++lines;
    }
    EXPECT_EQ(lines, 30000);
    EXPECT_EQ(joined, bytes);
}
