// The built tool through its real command line, run under the names it is installed
// as, against sample driver trees in the sandbox build's driver root, with its clock
// stopped (a preloaded shim) so that identifiers are known in advance.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support.h"

namespace {

using Calls = std::vector<std::vector<std::string>>;
using Files = std::vector<std::string>;
const RunResult kDone{0, ""};
const std::string kRoot = SANDBOX_ROOT;

std::string inf(const std::string& model) { return kRoot + "/" + model + "/bin/inf/"; }
std::string paper_tool(const std::string& model) {
    return kRoot + "/" + model + "/bin/lpd/zkpapertoolcups_" + model;
}
Files names(const std::string& model) {
    return {"zk" + model + "func", "paperinf" + model, "zk" + model + "rc", "ImagingArea"};
}
Files files(const std::string& model) {
    Files contents;
    for (const std::string& name : names(model)) contents.push_back(read_file(inf(model) + name));
    return contents;
}

class Tool : public testing::Test {
protected:
    // A fresh sample driver for `model`: roll-label for "lr…", tape otherwise.
    void lay_out(const std::string& model) {
        const std::string kind = (model[0] == 'l' ? "roll:" : "tape:") + model;
        ASSERT_EQ(finish(start_program("/bin/sh",
                                       {"sh", MAKE_DRIVER_TREE, SANDBOX_ROOT, STANDIN_TOOL, kind})),
                  kDone);
        symlink(SANDBOX_TOOL, (bin_ / ("zkpapertoollpr_" + model)).c_str());
        installed_ = files(model);
    }
    // Runs the tool (under ZK_TOOL_WRAPPER, say valgrind, when set).
    Started start(const std::string& model, std::vector<std::string> args,
                  std::vector<std::string> env = {}, const std::vector<int>& ignored = {}) {
        const char* wrapper = std::getenv("ZK_TOOL_WRAPPER");
        std::vector<std::string> argv = words(wrapper ? wrapper : "");
        argv.push_back(bin_ / ("zkpapertoollpr_" + model));
        argv.insert(argv.end(), args.begin(), args.end());
        // A sanitizer runtime would insist on being preloaded first.
        env.insert(env.end(), {"ZK_CLOCK=97", std::string("LD_PRELOAD=") + CLOCK_SHIM,
                               "ASAN_OPTIONS=verify_asan_link_order=0"});
        return start_program(argv[0], argv, env, ignored);
    }
    RunResult run(const std::string& model, const std::string& args) {
        return finish(start(model, words(args)));
    }
    // The sample files with `entry` ("<identifier>/<name>") added by an add.
    Files with(const std::string& entry, const std::string& paper, const std::string& area) {
        Files expected = installed_;
        expected[0].insert(expected[0].find("[CustomTape]\n") + 13, entry + "\n");
        expected[1] += entry + ":\t" + paper + "\n";
        expected[3] += entry.substr(0, entry.find('/')) + ":\t0.00\t0.00\t" + area + "\n";
        return expected;
    }

    TempDir bin_;
    Files installed_;
};

const std::string kUsage =
    "===========================\n"
    " LPRng Paper Size Tool (v 0.2)\tAdds and deletes custom label formats; --list shows them.\n"
    " Usage: zkpapertoollpr_xxxx -P Printer Name [-n add a Lable Format Name (<=32 bytes) -w "
    "Media Width(unit:mm) -h Media Height(unit:mm)]/[-d delete Lable Format Name]\n"
    " **Label width is  3.5mm,6mm,9mm,12mm,18mm,24mm,36mm and Height is between 4mm and "
    "1000mm(HS tape max is 500mm)\n"
    " For example:\n"
    " 1. Add a new Label Format with \"New Label Format\" name and 12mm width and 50mm length:\n"
    "\t\"zkpapertoollpr_txm88 -P TX-M88 -n New\\ Label Namw (\"HS\" contain name means heat "
    "srink tube ex.HS12mmx50mm)\\ Format -w 12 -h 50\" [enter]\n\n"
    " 2. Remove the Label Format with \"New Label Format\" name:\n"
    "\t\"zkpapertoollpr_txm88 -P TX-M88 -d New\\ Label\\ Format\" [enter]\n\n"
    "===========================\n";

}  // namespace

TEST_F(Tool, RefusesEveryFaultyCommandLineWithTheUsageScreen) {
    lay_out("txm88");
    lay_out("lr210");
    // Tape model rows, then roll-label rows after the second empty one; N, P and B stand
    // for a 33-byte name, a 1025-byte printer and 32 blanks.
    std::vector<std::string> cases = split(
        "|-P|-P Q -n|-P Q -d x -n|--help|--list x|-P Q -n a -d a -w 12 -h 50|-P Q -n a -w 12|"
        "-P Q -n a -h 50|-n a -w 12 -h 50|-P Q -w 12 -h 50|-P Q -d a -w 25|-P Q -n a -w 0 -h 50|"
        "-P Q -n a -w 12 -h 0|-P Q -n a -w -9 -h 5|-P Q -n a -w wide -h 50|-P Q -n Hs -w 30 -h 50|"
        "-P Q -n N -w 9 -h 9|-P P -d a|-P Q -d|-P Q -d two^lines|-P Q -d a -x 1|-P Q P a|-P Q - a|"
        "-P Q -d a -w B9||-P Q -n a -w 3 -h 50|-P Q -n a -w 4 -h 6|-P Q -n a -w 100000001 -h 50|"
        "-P Q -n a -w 9 -h 99999999999999999999999",
        '|');
    cases[17].replace(8, 1, 33, 'n');
    cases[18].replace(3, 1, 1025, 'p');
    cases[24].replace(13, 1, 32, '~');
    std::string model = "txm88", usage = kUsage;
    for (const std::string& args : cases) {
        if (&args != &cases[0] && args.empty()) {
            model = "lr210";  // no display name: two blanks after -P
            for (int i = 0; i < 2; ++i)
                usage.replace(usage.find("txm88 -P TX-M88"), 15, "lr210 -P ");
        }
        EXPECT_EQ(run(model, args), (RunResult{0, usage})) << args;
    }
    EXPECT_EQ(paper_tool_calls(paper_tool("txm88")), Calls{});
}

TEST_F(Tool, AddsSizedFormatsToThreeFilesAndThePaperTool) {
    // model | words after "-P Q" | -w | -h to the paper tool | entry without the time
    // fields | paper info dots | imaging area points
    const char* cases[] = {
        "txm88|-new New~Label -wide 12 -high 50|10|50|ZkL_zkS12mm__090A032/New Label|70 353|28.00 "
        "141.52",
        "txm88|-n a -w 3 -h 50|2|50|ZkL_zkS3.5mm_0102032/a|24 353|9.60 141.52",
        "txm88|-n a -w 10 -h 50|10|50|ZkL010A032/a|70 353|28.00 141.52",
        "txm88|-n a -w 24 -h 1000|22|1000|ZkL_zkS24mm__01163E8/a|128 7075|51.20 2830.34",
        "txm88|-n HS -w 12 -h 800|9|500|ZkL_zkHS12mm_02091F4/HS|66 3537|26.40 1415.17",
        "txm88|-w 12 -h 800 -n HS|10|800|ZkL_zkS12mm__020A320/HS|70 5660|28.00 2264.28",
        "txm88|-n tube~hs -w 30 -h 50|30|50|ZkL071E032/tube hs|0 353|0.00 141.52",
        "txm88|-n a -w 12 -h 2|10|4|ZkL_zkS12mm__010A004/a|70 28|28.00 11.32",
        "txm88|-n a -w 3 -w 10 -h 5000|10|1000|ZkL_zkS3.5mm_010A3E8/a|70 7075|28.00 2830.34",
        "txm88|-n HS -w 12 -w 30 -h 600|30|500|ZkL_zkHS12mm_021E1F4/HS|66 3537|26.40 1415.17",
        "txm88|-n a -w 12mm -h ~+50|10|50|ZkL_zkS12mm__010A032/a|70 353|28.00 141.52",
        "lr210|-n Address -w 62 -h 100|62|100|ZkL073E064/Address|695 1108|0.00 283.03",
        "lr210|-n a -w 4 -h 7|4|7|ZkL0104007/a|11 11|0.00 19.81",
        "lr210|-n a -w 100000000 -h 5000|100000000|5000|ZkL015F5E100388/a|1179310309 58894|0.00 "
        "14151.72",
    };
    for (const char* row : cases) {
        std::vector<std::string> c = split(row, '|');
        for (std::string* values : {&c[5], &c[6]})
            std::replace(values->begin(), values->end(), ' ', '\t');
        lay_out(c[0]);
        ASSERT_EQ(run(c[0], "-P Q " + c[1]), kDone) << row;
        const std::string entry = c[4].insert(c[4].find('/'), "1F3A7");
        const std::string id = entry.substr(0, entry.find('/')), name = entry.substr(id.size() + 1);
        const std::string tool = paper_tool(c[0]);
        EXPECT_EQ(paper_tool_calls(tool), (Calls{{tool, "-P", "Q", "-d", name, "-show", "1"},
                                                 {tool, "-P", "Q", "-n", name, "-w", c[2], "-h",
                                                  c[3], "-specid", id, "-show", "1"}}))
            << row;
        EXPECT_EQ(files(c[0]), with(entry, c[5], c[6])) << row;
    }
}

TEST_F(Tool, DeletesAFormatFromEveryFileAndResetsTheSettingsThatChoseIt) {
    for (const std::string model : {"txk30", "lr260"}) {
        lay_out(model);
        const bool tape = model == "txk30";
        const std::string id = tape ? "ZkL_zkS24mm__0C160642A1B0" : "ZkL0C3E0642A1B0";
        Files expected = installed_;
        for (std::string& file : expected) {
            const std::size_t at = file.find(id), start = file.rfind('\n', at) + 1;
            file.replace(start, file.find('\n', at) + 1 - start,
                         &file != &expected[2] ? ""
                         : tape                ? "Media=zkS12mm\n"
                                               : "MediaSize=29X1\n");
        }
        EXPECT_EQ(run(model, "-P Q -d Shelf~labels"), kDone);
        EXPECT_EQ(files(model), expected);
        EXPECT_EQ(run(model, "-P Q -d Shelf~labels"), (RunResult{0, "Not found 'Shelf labels'\n"}));
    }
}

TEST_F(Tool, NoFormatTakesAnothersIdentifierNameOrMark) {
    lay_out("lr210");
    // What a delete that found no paper info entry leaves: identifiers still in use.
    write_file(inf("lr210") + "paperinflr210", installed_[1] + "ZkL040C0321F3A7/Gone:\t1\t1\n");
    write_file(inf("lr210") + "ImagingArea", installed_[3] + "ZkL040C0321F3A8:\t0\t0\t0\t0\n");
    // Formats of one name length and size while the clock stands still, one replaced,
    // a name that spells the sample format's identifier, names that hold the mark.
    for (const char* args : {"Tag1 -w 9", "Tag1 -w 12", "Tag2 -w 12", "Tag3 -w 12", "Wide -w 300",
                             "ZkL0C3E0642A1B0 -w 12", "[CustomTape] -w 12", "x[CustomTape] -w 12"})
        ASSERT_EQ(run("lr210", std::string("-P Q -h 50 -n ") + args), kDone);
    for (const char* args : {"-d Tag2", "-d Wide", "-d Shelf~labels"})
        EXPECT_EQ(run("lr210", std::string("-P Q ") + args), kDone);
    EXPECT_EQ(run("lr210", "--list").out,
              "x[CustomTape]\t12\t50\n[CustomTape]\t12\t50\nZkL0C3E0642A1B0\t12\t50\n"
              "Tag3\t12\t50\nTag1\t12\t50\n");
    for (const char* line : {"\nZkL040C0321F3A9/Tag1\n", "\nZkL040C0321F3AB/Tag3\n"})
        EXPECT_NE(files("lr210")[0].find(line), std::string::npos) << line;
}

TEST_F(Tool, AFailedOperationChangesNoFileAndSaysWhy) {
    const std::string dir = inf("txe40"), elsewhere = bin_ / "elsewhere";
    // What spoils the driver | words after "-P Q" | exit status | output
    const std::string cases[] = {
        "link ImagingArea|-d Shelf~labels|255|Too many levels of symbolic links\n",
        "link zktxe40rc|-d Shelf~labels|255|Too many levels of symbolic links\n",
        "fifo ImagingArea|-d Shelf~labels|255|Invalid argument\n",
        "rm ImagingArea|-d Shelf~labels|255|No such file or directory\n",
        "rm ImagingArea|-n a -w 9 -h 40|255|No such file or directory\n",
        "fail 1|-d Shelf~labels|255|",
        "fail -15|-n a -w 9 -h 40|255|",
        "fail 1 -n|-n a -w 9 -h 40|255|",
        "rm ../lpd/zkpapertoolcups_txe40|-d a|255|" + paper_tool("txe40") +
            ": No such file or directory\n",
    };
    for (const std::string& row : cases) {
        lay_out("txe40");
        const std::vector<std::string> c = split(row, '|');
        const std::string how = c[0].substr(0, c[0].find(' ')), what = c[0].substr(how.size() + 1);
        if (how == "link") std::rename((dir + what).c_str(), elsewhere.c_str());
        if (how == "link") symlink(elsewhere.c_str(), (dir + what).c_str());
        if (how == "fifo" || how == "rm") unlink((dir + what).c_str());
        if (how == "fifo") mkfifo((dir + what).c_str(), 0666);
        if (how == "fail") write_file(paper_tool("txe40") + ".fail", what);
        const Files before = files("txe40");
        const std::size_t listed = entries(dir);
        EXPECT_EQ(run("txe40", "-P Q " + c[1]), (RunResult{std::stoi(c[2]), c[3]})) << row;
        EXPECT_EQ(files("txe40"), before) << row;
        EXPECT_EQ(entries(dir), listed) << row;
    }
}

TEST_F(Tool, SurvivesTheWayItIsStarted) {
    lay_out("txe41b");
    const std::string tool = paper_tool("txe41b");
    // Under nohup or in a script's background: a hang-up or interrupt during the run.
    for (int signal_number : {SIGHUP, SIGINT}) {
        write_file(tool, "#!/bin/sh\nkill -" + std::to_string(signal_number) + " $PPID\n");
        EXPECT_EQ(finish(start("txe41b", words("-P Q -n a -w 9 -h 40"), {}, {signal_number})),
                  kDone);
    }
    EXPECT_EQ(run("txe41b", "--list").out, "a\t7\t40\tzkS9mm\nShelf labels\t22\t100\tzkS24mm\n");
    lay_out("txe41b");
    // A file size limit ends the run by its signal, leaving every file as it was.
    write_file(tool, "#!/bin/sh\n");
    const std::string limited = "ulimit -f 0; exec \"$0\" -P Q -d \"Shelf labels\"";
    EXPECT_EQ(
        finish(start_program("/bin/sh", {"sh", "-c", limited, bin_ / "zkpapertoollpr_txe41b"}))
            .status,
        128 + SIGXFSZ);
    EXPECT_EQ(files("txe41b"), installed_);
    EXPECT_EQ(entries(inf("txe41b")), 4u);
    EXPECT_EQ(finish(start("txe41b", words("-P Q -d Shelf~labels"), {}, {SIGCHLD})), kDone);
    EXPECT_EQ(run("txe41b", "--list"), kDone);
}

TEST_F(Tool, AnOrdinaryUserMayChangeADriverEveryoneMayWrite) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    lay_out("txe47n");
    const std::string dir = inf("txe47n");
    chmod(dir.c_str(), 0777);
    chmod((dir + "../lpd").c_str(), 0777);
    for (const std::string& name : names("txe47n")) chown((dir + name).c_str(), 0, 65534);
    // nobody, in group users, may give a file the group nogroup but not the owner root.
    const auto as_nobody = [&](const std::string& command) {
        return finish(start_program(
            "/usr/bin/setpriv",
            words("setpriv --reuid=nobody --regid=users --groups=nogroup " + command)));
    };
    if (as_nobody("/usr/bin/test -x " + dir).status != 0)
        GTEST_SKIP() << "nobody cannot reach " << dir << "; .ci/run opens the checkout to all";
    const std::string tool = bin_ / "zkpapertoollpr_txe47n ";
    chmod((dir + "zktxe47nfunc").c_str(), 0600);
    EXPECT_EQ(as_nobody(tool + "-P Q -d Shelf~labels"), (RunResult{255, "Permission denied\n"}));
    chmod((dir + "zktxe47nfunc").c_str(), 0666);
    EXPECT_EQ(as_nobody(tool + "-P Q -n Small~tag -w 12 -h 50"), kDone);
    struct stat status {};
    stat((dir + "ImagingArea").c_str(), &status);
    EXPECT_EQ(status.st_mode & 07777, 0666u);
    EXPECT_EQ(status.st_gid, 65534u);
    // A sticky folder would refuse the rename over the settings file, still root's.
    const Files added = files("txe47n");
    chmod(dir.c_str(), 01777);
    EXPECT_EQ(as_nobody(tool + "-P Q -d Shelf~labels"),
              (RunResult{255, "Operation not permitted\n"}));
    EXPECT_EQ(files("txe47n"), added);
    // Nor may root without CAP_FOWNER in a folder of nobody's.
    chown(dir.c_str(), 65534, 0);
    EXPECT_EQ(finish(start_program("/usr/bin/setpriv", words("setpriv --bounding-set=-fowner " +
                                                             tool + "-P Q -d Shelf~labels"))),
              (RunResult{255, "Operation not permitted\n"}));
    EXPECT_EQ(files("txe47n"), added);
    chown(dir.c_str(), 0, 0);
    chmod(dir.c_str(), 0777);
    EXPECT_EQ(as_nobody(tool + "-P Q -d Small~tag"), kDone);
    EXPECT_EQ(files("txe47n"), installed_);
    chmod(dir.c_str(), 0755);
    EXPECT_EQ(as_nobody(tool + "-P Q -d Shelf~labels"), (RunResult{255, "Permission denied\n"}));
    EXPECT_EQ(files("txe47n"), installed_);
}

TEST_F(Tool, ListsTheFormatsNewestFirstAndChangesNothing) {
    lay_out("tx12r");
    for (const char* args : {"HS~tube -w 4 -h 60", "Ten -w 10 -h 50", "Wide~hs -w 30 -h 900"})
        ASSERT_EQ(run("tx12r", std::string("-P Q -n ") + args), kDone);
    ASSERT_EQ(run("tx12r", "-P Q -d Ten"), kDone);
    const Files before = files("tx12r");
    EXPECT_EQ(run("tx12r", "--list").out,
              "Wide hs\t30\t500\nHS tube\t4\t60\tzkHS6mm\nShelf labels\t22\t100\tzkS24mm\n");
    EXPECT_EQ(files("tx12r"), before);
    EXPECT_EQ(paper_tool_calls(paper_tool("tx12r")).size(), 7u);
    lay_out("lr260");
    ASSERT_EQ(run("lr260", "-P Q -n Long~roll -w 62 -h 5000"), kDone);
    EXPECT_EQ(run("lr260", "--list").out, "Long roll\t62\t5000\nShelf labels\t62\t100\n");
    unlink((inf("lr260") + "zklr260func").c_str());
    EXPECT_EQ(run("lr260", "--list"), (RunResult{255, "No such file or directory\n"}));
    EXPECT_EQ(run("lr260", "--version"), (RunResult{0, "zkpapertoollpr v 0.2\n"}));
}

TEST_F(Tool, NamesTheInvalidAndPassesValuesAsLiteralWords) {
    symlink(SANDBOX_TOOL, (bin_ / "zkpapertoollpr_xxxx").c_str());
    EXPECT_EQ(run("xxxx", "-P Q -d x"),
              (RunResult{0, bin_ / "zkpapertoollpr_xxxx is invalid.\n\n"}));
    // The kernel may hand over an empty name instead of none; either way no model.
    EXPECT_EQ(finish(start_program(SANDBOX_TOOL, {})), (RunResult{0, " is invalid.\n\n"}));
    // The first key in table order wins, wherever it stands in the name.
    symlink(SANDBOX_TOOL, (bin_ / "zkpapertoollpr_txm88_lr260").c_str());
    EXPECT_NE(run("txm88_lr260", "--help").out.find("\"zkpapertoollpr_lr260 -P  -d"),
              std::string::npos);

    lay_out("txe47n");
    const std::string printer = "Q $(touch ran) `touch ran`; touch ran | & \"'";
    for (const std::string name : {"-d \"$(touch ran)\" `touch ran`;'", "-n", "  blanks  ",
                                   "ÄÖÜäöüß€€€€€€"}) {  // the last is 32 bytes of UTF-8
        EXPECT_EQ(finish(start("txe47n", {"-P", printer, "-n", name, "-w", "9", "-h", "40"})),
                  kDone);
        const std::vector<std::string> call = paper_tool_calls(paper_tool("txe47n")).back();
        EXPECT_EQ(call[2] + call[4], printer + name);
        EXPECT_EQ(finish(start("txe47n", {"-P", printer, "-d", name})), kDone);
        EXPECT_EQ(files("txe47n"), installed_) << name;
    }
    EXPECT_EQ(access("ran", F_OK), -1);
}

TEST_F(Tool, ParallelRunsLoseNoUpdateAndShowNoHalfWrittenFileOrLeftover) {
    lay_out("txm88");
    const std::string dir = inf("txm88"), victim = bin_ / "victim";
    // What killed runs left: a file, and links to be removed, never followed.
    write_file(victim, "victim");
    for (const std::string& name : names("txm88"))
        symlink(victim.c_str(), (dir + name + ".$$$").c_str());
    unlink((dir + "ImagingArea.$$$").c_str());
    write_file(dir + "ImagingArea.$$$", "killed run");
    // A run that changes no file still removes them.
    EXPECT_EQ(run("txm88", "-P Q -d none"), (RunResult{0, "Not found 'none'\n"}));
    EXPECT_EQ(entries(dir), 4u);
    std::atomic<bool> writing{true};
    std::atomic<int> torn{0};
    std::thread reader([&] {  // sees the sample file plus whole entry lines, nothing else
        for (std::string seen; writing; seen = read_file(dir + "paperinftxm88"))
            torn += !seen.empty() && (seen.rfind(installed_[1], 0) != 0 || seen.back() != '\n');
    });
    constexpr int kRuns = 16;
    for (const std::string operation : {"-n", "-d"}) {
        std::vector<Started> runs;
        for (int i = 0; i < kRuns; ++i) {
            const std::string size = operation == "-n" ? " -w 12 -h 50" : "";
            runs.push_back(
                start("txm88", words("-P Q " + operation + " tag~" + std::to_string(i) + size)));
        }
        for (const Started& started : runs) EXPECT_EQ(finish(started), kDone);
        if (operation == "-d") break;
        // Every run's entry stands once in each file, whatever its neighbours did.
        const std::string listed = run("txm88", "--list").out;
        for (int i = 0; i < kRuns; ++i)
            EXPECT_NE(listed.find("tag " + std::to_string(i) + "\t10\t50"), std::string::npos);
        const Files added = files("txm88");
        for (int file : {0, 1, 3})
            EXPECT_EQ(std::count(added[file].begin(), added[file].end(), '\n'),
                      std::count(installed_[file].begin(), installed_[file].end(), '\n') + kRuns);
    }
    writing = false;
    reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(files("txm88"), installed_);
    EXPECT_EQ(entries(dir), 4u);
    EXPECT_EQ(read_file(victim), "victim");
}
