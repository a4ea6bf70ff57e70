// The built tool through its real command line, run under the names it is installed
// as, against sample driver trees in the sandbox build's driver root, with its clock
// stopped so that identifiers are known in advance.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support.h"

namespace {

using Calls = std::vector<std::vector<std::string>>;
const std::string kRoot = SANDBOX_ROOT;
constexpr const char* kTime = "1F3A7";  // the stopped clock's time fields

class Tool : public testing::Test {
protected:
    // A fresh sample driver of `kind` ("tape" or "roll") for `model`.
    void lay_out(const std::string& kind, const std::string& model) {
        const std::string kind_model = kind + ":" + model;
        ASSERT_EQ(finish(start_program(
                      "/bin/sh", {"sh", MAKE_DRIVER_TREE, SANDBOX_ROOT, STANDIN_TOOL, kind_model})),
                  (RunResult{0, ""}));
        symlink(SANDBOX_TOOL, (bin_ / ("zkpapertoollpr_" + model)).c_str());
        installed_ = files(model);
    }
    Started start(const std::string& model, std::vector<std::string> args,
                  std::vector<std::string> env = {}, const std::vector<int>& ignored = {}) {
        const char* wrapper = std::getenv("ZK_TOOL_WRAPPER");
        std::vector<std::string> argv = words(wrapper ? wrapper : "");
        argv.push_back(bin_ / ("zkpapertoollpr_" + model));
        argv.insert(argv.end(), args.begin(), args.end());
        env.insert(env.end(), {"ZK_CLOCK=97", std::string("LD_PRELOAD=") + FAIL_SHIM,
                               // A sanitizer runtime would insist on being preloaded first.
                               "ASAN_OPTIONS=verify_asan_link_order=0"});
        return start_program(argv[0], argv, env, ignored);
    }
    RunResult run(const std::string& model, const std::string& args,
                  const std::vector<std::string>& env = {}) {
        return finish(start(model, words(args), env));
    }
    static std::string inf(const std::string& model) { return kRoot + "/" + model + "/bin/inf/"; }
    static std::string paper_tool(const std::string& model) {
        return kRoot + "/" + model + "/bin/lpd/zkpapertoolcups_" + model;
    }
    static std::vector<std::string> names(const std::string& model) {
        return {"zk" + model + "func", "paperinf" + model, "zk" + model + "rc", "ImagingArea"};
    }
    static std::vector<std::string> files(const std::string& model) {
        std::vector<std::string> contents;
        for (const std::string& name : names(model))
            contents.push_back(read_file(inf(model) + name));
        return contents;
    }
    // The sample files with `entry` added to the function and paper info files.
    std::vector<std::string> with(const std::string& entry, const std::string& paper,
                                  const std::string& area) const {
        std::vector<std::string> expected = installed_;
        expected[0].replace(expected[0].find("[CustomTape]\n"), 13,
                            "[CustomTape]\n" + entry + "\n");
        expected[1] += entry + ":\t" + paper + "\n";
        expected[3] += entry.substr(0, entry.find('/')) + ":\t0.00\t0.00\t" + area + "\n";
        return expected;
    }

    TempDir bin_;
    std::vector<std::string> installed_;
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
    lay_out("tape", "txm88");
    lay_out("roll", "lr210");
    const std::string n33(33, 'n'), p1025(1025, 'p'), blanks32(32, '~');
    const struct {
        const char* model;
        std::string args;
    } cases[] = {
        {"txm88", ""},
        {"txm88", "-P"},
        {"txm88", "-P Q -n"},
        {"txm88", "-P Q -d x -n"},
        {"txm88", "--help"},
        {"txm88", "--list x"},
        {"txm88", "-P Q -n a -d a -w 12 -h 50"},
        {"txm88", "-P Q -n a -w 12"},
        {"txm88", "-P Q -n a -h 50"},
        {"txm88", "-n a -w 12 -h 50"},
        {"txm88", "-P Q -w 12 -h 50"},
        {"txm88", "-P Q -d a -w 25"},
        {"txm88", "-P Q -n a -w 0 -h 50"},
        {"txm88", "-P Q -n a -w 12 -h 0"},
        {"txm88", "-P Q -n a -w -12 -h 50"},
        {"txm88", "-P Q -n a -w wide -h 50"},
        {"txm88", "-P Q -n Hs -w 30 -h 50"},
        {"txm88", "-P Q -n " + n33 + " -w 9 -h 9"},
        {"txm88", "-P " + p1025 + " -d a"},
        {"txm88", "-P Q -d"},
        {"txm88", "-P Q -d two^lines"},
        {"txm88", "-P Q -d a -x 1"},
        {"txm88", "-P Q P a"},
        {"txm88", "-P Q - a"},
        {"txm88", "-P Q -d a -w " + blanks32 + "9"},
        {"lr210", "-P Q -n a -w 3 -h 50"},
        {"lr210", "-P Q -n a -w 4 -h 6"},
        {"lr210", "-P Q -n a -w 100000001 -h 50"},
        {"lr210", "-P Q -n a -w 9 -h 99999999999999999999999"},
    };
    for (const auto& c : cases) {
        std::string expected = kUsage;
        if (std::string(c.model) == "lr210") {
            for (std::string from : {"txm88 -P TX-M88", "txm88 -P TX-M88"})
                expected.replace(expected.find(from), from.size(), "lr210 -P ");
        }
        EXPECT_EQ(run(c.model, c.args), (RunResult{0, expected})) << c.args;
    }
    EXPECT_EQ(paper_tool_calls(paper_tool("txm88")), Calls{});
}

TEST_F(Tool, AddsSizedFormatsToThreeFilesAndThePaperTool) {
    const struct {
        const char* model;
        const char* args;  // after "-P Q"
        const char* width;
        const char* height;
        const char* entry;  // identifier without its time fields, "/", name
        const char* paper;
        const char* area;
    } cases[] = {
        {"txm88", "-new New~Label -wide 12 -high 50", "10", "50", "ZkL_zkS12mm__090A032/New Label",
         "70\t353", "28.00\t141.52"},
        {"txm88", "-n a -w 3 -h 50", "2", "50", "ZkL_zkS3.5mm_0102032/a", "24\t353",
         "9.60\t141.52"},
        {"txm88", "-n a -w 10 -h 50", "10", "50", "ZkL010A032/a", "70\t353", "28.00\t141.52"},
        {"txm88", "-n a -w 24 -h 1000", "22", "1000", "ZkL_zkS24mm__01163E8/a", "128\t7075",
         "51.20\t2830.34"},
        {"txm88", "-n HS -w 12 -h 800", "9", "500", "ZkL_zkHS12mm_02091F4/HS", "66\t3537",
         "26.40\t1415.17"},
        {"txm88", "-w 12 -h 800 -n HS", "10", "800", "ZkL_zkS12mm__020A320/HS", "70\t5660",
         "28.00\t2264.28"},
        {"txm88", "-n tube~hs -w 30 -h 50", "30", "50", "ZkL071E032/tube hs", "0\t353",
         "0.00\t141.52"},
        {"txm88", "-n a -w 12 -h 2", "10", "4", "ZkL_zkS12mm__010A004/a", "70\t28", "28.00\t11.32"},
        {"txm88", "-n a -w 3 -w 10 -h 5000", "10", "1000", "ZkL_zkS3.5mm_010A3E8/a", "70\t7075",
         "28.00\t2830.34"},
        {"txm88", "-n HS -w 12 -w 30 -h 600", "30", "500", "ZkL_zkHS12mm_021E1F4/HS", "66\t3537",
         "26.40\t1415.17"},
        {"txm88", "-n a -w 12mm -h ~+50", "10", "50", "ZkL_zkS12mm__010A032/a", "70\t353",
         "28.00\t141.52"},
        {"lr210", "-n Address -w 62 -h 100", "62", "100", "ZkL073E064/Address", "695\t1108",
         "0.00\t283.03"},
        {"lr210", "-n a -w 4 -h 7", "4", "7", "ZkL0104007/a", "11\t11", "0.00\t19.81"},
        {"lr210", "-n a -w 100000000 -h 5000", "100000000", "5000", "ZkL015F5E100388/a",
         "1179310309\t58894", "0.00\t14151.72"},
    };
    for (const auto& c : cases) {
        lay_out(std::string(c.model) == "lr210" ? "roll" : "tape", c.model);
        ASSERT_EQ(run(c.model, std::string("-P Q ") + c.args), (RunResult{0, ""})) << c.args;
        std::string entry = c.entry;
        const std::string name = entry.substr(entry.find('/') + 1);
        const std::string id = entry.insert(entry.find('/'), kTime).substr(0, entry.find('/'));
        const std::string tool = paper_tool(c.model);
        EXPECT_EQ(paper_tool_calls(tool), (Calls{{tool, "-P", "Q", "-d", name, "-show", "1"},
                                                 {tool, "-P", "Q", "-n", name, "-w", c.width, "-h",
                                                  c.height, "-specid", id, "-show", "1"}}))
            << c.args;
        EXPECT_EQ(files(c.model), with(entry, c.paper, c.area)) << c.args;
    }
}

TEST_F(Tool, DeletesAFormatFromEveryFileAndResetsTheSettingsThatChoseIt) {
    for (const char* kind : {"tape", "roll"}) {
        const std::string model = kind == std::string("tape") ? "txk30" : "lr260";
        lay_out(kind, model);
        const std::string id =
            kind == std::string("tape") ? "ZkL_zkS24mm__0C160642A1B0" : "ZkL0C3E0642A1B0";
        std::vector<std::string> expected = installed_;
        for (std::string& file : expected) {
            for (std::size_t at; (at = file.find(id)) != std::string::npos;) {
                const std::size_t start = file.rfind('\n', at) + 1;
                file.erase(start, file.find('\n', at) + 1 - start);
                if (&file == &expected[2])
                    file.insert(start, model == "txk30" ? "Media=zkS12mm\n" : "MediaSize=29X1\n");
            }
        }
        EXPECT_EQ(run(model, "-P Q -d Shelf~labels"), (RunResult{0, ""}));
        EXPECT_EQ(files(model), expected);
        EXPECT_EQ(run(model, "-P Q -d Shelf~labels"), (RunResult{0, "Not found 'Shelf labels'\n"}));
        EXPECT_EQ(paper_tool_calls(paper_tool(model)).back(),
                  (std::vector<std::string>{paper_tool(model), "-P", "Q", "-d", "Shelf labels",
                                            "-show", "1"}));
    }
}

TEST_F(Tool, AnAddReplacesItsNameAndADeleteUndoesItByteForByte) {
    lay_out("tape", "txm80");
    for (const char* args : {"-n Small~tag -w 12 -h 50", "-n Small~tag -w 9 -h 40",
                             "-n HS~wide -w 300 -h 40", "-n [CustomTape]1 -w 9 -h 40"})
        ASSERT_EQ(run("txm80", std::string("-P Q ") + args), (RunResult{0, ""}));
    EXPECT_EQ(files("txm80")[1].find("Small tag:\t70"), std::string::npos);
    for (const char* name : {"Small~tag", "HS~wide", "[CustomTape]1"})
        EXPECT_EQ(run("txm80", std::string("-P Q -d ") + name), (RunResult{0, ""}));
    EXPECT_EQ(files("txm80"), installed_);

    lay_out("roll", "lr380dt");
    ASSERT_EQ(run("lr380dt", "-P Q -n Roll -w 300 -h 5000"), (RunResult{0, ""}));
    ASSERT_EQ(run("lr380dt", "-P Q -d Roll"), (RunResult{0, ""}));
    EXPECT_EQ(files("lr380dt"), installed_);
}

TEST_F(Tool, NoFormatTakesAnothersIdentifierNameOrMark) {
    lay_out("roll", "lr210");
    // The clock stands still: three formats of one name length and size.
    for (const char* name : {"Tag1", "Tag2", "Tag3"})
        ASSERT_EQ(run("lr210", std::string("-P Q -n ") + name + " -w 12 -h 50"),
                  (RunResult{0, ""}));
    // A name that spells the sample format's identifier.
    ASSERT_EQ(run("lr210", "-P Q -n ZkL0C3E0642A1B0 -w 12 -h 50"), (RunResult{0, ""}));
    for (const char* name : {"[CustomTape]", "x[CustomTape]"})
        ASSERT_EQ(run("lr210", std::string("-P Q -n ") + name + " -w 12 -h 50"),
                  (RunResult{0, ""}));
    EXPECT_EQ(run("lr210", "-P Q -d Tag2"), (RunResult{0, ""}));
    EXPECT_EQ(run("lr210", "-P Q -d Shelf~labels"), (RunResult{0, ""}));
    EXPECT_EQ(run("lr210", "--list"),
              (RunResult{0,
                         "x[CustomTape]\t12\t50\n[CustomTape]\t12\t50\nZkL0C3E0642A1B0\t12\t50\n"
                         "Tag3\t12\t50\nTag1\t12\t50\n"}));
    const std::string function_file = files("lr210")[0];
    for (const char* line : {"ZkL040C0321F3A7/Tag1\n", "ZkL040C0321F3A9/Tag3\n",
                             "ZkL0F0C0321F3A7/ZkL0C3E0642A1B0\n", "ZkL0C0C0321F3A7/[CustomTape]\n"})
        EXPECT_NE(function_file.find(line), std::string::npos) << line;
}

TEST_F(Tool, AFailedOperationChangesNoFileAndSaysWhy) {
    lay_out("tape", "txe40");
    const std::string dir = inf("txe40"), elsewhere = bin_ / "elsewhere";
    const auto link_in = [&](const std::string& name) {
        std::rename((dir + name).c_str(), elsewhere.c_str());
        symlink(elsewhere.c_str(), (dir + name).c_str());
    };
    const auto fifo_in = [&](const std::string& name) {
        unlink((dir + name).c_str());
        mkfifo((dir + name).c_str(), 0666);
    };
    const auto remove = [&](const std::string& name) { unlink((dir + name).c_str()); };
    const auto fail_tool = [&](const char* how) { write_file(paper_tool("txe40") + ".fail", how); };
    const struct {
        std::function<void()> spoil;
        const char* args;
        std::vector<std::string> env;
        RunResult result;
    } cases[] = {
        {[&] { link_in("ImagingArea"); },
         "-d Shelf~labels",
         {},
         {255, "Too many levels of symbolic links\n"}},
        {[&] { link_in("zktxe40rc"); },
         "-d Shelf~labels",
         {},
         {255, "Too many levels of symbolic links\n"}},
        {[&] { fifo_in("ImagingArea"); }, "-d Shelf~labels", {}, {255, "Invalid argument\n"}},
        {[&] { remove("ImagingArea"); },
         "-d Shelf~labels",
         {},
         {255, "No such file or directory\n"}},
        {[&] { remove("ImagingArea"); }, "-n a -w 9 -h 40", {}, {255, ""}},
        {[] {}, "-d Shelf~labels", {"ZK_FAIL_FSYNC=28"}, {255, "No space left on device\n"}},
        {[] {}, "-n a -w 9 -h 40", {"ZK_FAIL_RENAME=30"}, {255, ""}},
        {[] {}, "-d Shelf~labels", {"ZK_FAIL_RENAME=30"}, {255, "Read-only file system\n"}},
        {[&] { fail_tool("1"); }, "-d Shelf~labels", {}, {255, ""}},
        {[&] { fail_tool("-15"); }, "-n a -w 9 -h 40", {}, {255, ""}},
        {[&] { fail_tool("1 -n"); }, "-n a -w 9 -h 40", {}, {255, ""}},
        {[&] { remove("../lpd/zkpapertoolcups_txe40"); },
         "-d Shelf~labels",
         {},
         {255, paper_tool("txe40") + ": No such file or directory\n"}},
    };
    for (const auto& c : cases) {
        lay_out("tape", "txe40");
        c.spoil();
        const std::vector<std::string> before = files("txe40");
        const std::vector<std::string> listed = list_folder(dir);
        EXPECT_EQ(finish(start("txe40", words(std::string("-P Q ") + c.args), c.env)), c.result)
            << c.args;
        EXPECT_EQ(files("txe40"), before) << c.args;
        EXPECT_EQ(list_folder(dir), listed) << c.args;
    }
}

TEST_F(Tool, SurvivesTheWayItIsStarted) {
    lay_out("tape", "txe41b");
    const std::string tool = paper_tool("txe41b");
    // A paper tool that hangs up on its caller, as a closing terminal would.
    for (int signal_number : {SIGHUP, SIGINT}) {
        write_file(tool, "#!/bin/sh\nkill -" + std::to_string(signal_number) + " $PPID\n");
        const RunResult result =
            finish(start("txe41b", words("-P Q -n a -w 9 -h 40"), {}, {signal_number}));
        EXPECT_EQ(result, (RunResult{0, ""})) << signal_number;
    }
    EXPECT_NE(files("txe41b")[0].find("/a\n"), std::string::npos);
    // Started with SIGCHLD ignored, the tool must still see its paper tool succeed.
    lay_out("tape", "txe41b");
    EXPECT_EQ(finish(start("txe41b", words("-P Q -d Shelf~labels"), {}, {SIGCHLD})),
              (RunResult{0, ""}));
    EXPECT_EQ(paper_tool_calls(tool).size(), 1u);
}

TEST_F(Tool, AnOrdinaryUserMayChangeADriverEveryoneMayWrite) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    lay_out("tape", "txe47n");
    const std::string dir = inf("txe47n");
    chmod(dir.c_str(), 0777);
    chmod((kRoot + "/txe47n/bin/lpd").c_str(), 0777);
    for (const std::string& name : names("txe47n")) {
        chmod((dir + name).c_str(), 0666);
        chown((dir + name).c_str(), 0, 65534);  // root's, group nogroup
    }
    const auto as_nobody = [&](const std::string& args) {
        std::vector<std::string> argv = words(
            "/usr/bin/setpriv --reuid=nobody --regid=100 "
            "--groups=65534");
        for (std::string word : words(args)) argv.push_back(word);
        argv.insert(argv.begin() + 4, bin_ / "zkpapertoollpr_txe47n");
        return finish(start_program(argv[0], argv));
    };
    EXPECT_EQ(as_nobody("-P Q -n Small~tag -w 12 -h 50"), (RunResult{0, ""}));
    struct stat status;
    ASSERT_EQ(stat((dir + "ImagingArea").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0666u);
    EXPECT_EQ(status.st_gid, 65534u);  // the original's group, since nobody may give it
    EXPECT_EQ(as_nobody("-P Q -d Small~tag"), (RunResult{0, ""}));
    EXPECT_EQ(files("txe47n"), installed_);
    chmod(dir.c_str(), 0755);
    EXPECT_EQ(as_nobody("-P Q -d Shelf~labels"), (RunResult{255, "Permission denied\n"}));
    EXPECT_EQ(files("txe47n"), installed_);
}

TEST_F(Tool, ListsTheFormatsNewestFirstAndChangesNothing) {
    lay_out("tape", "tx12r");
    for (const char* args :
         {"-n HS~tube -w 4 -h 60", "-n Ten -w 10 -h 50", "-n Wide~hs -w 30 -h 900"})
        ASSERT_EQ(run("tx12r", std::string("-P Q ") + args), (RunResult{0, ""}));
    ASSERT_EQ(run("tx12r", "-P Q -d Ten"), (RunResult{0, ""}));
    const std::vector<std::string> before = files("tx12r");
    EXPECT_EQ(run("tx12r", "--list"), (RunResult{0,
                                                 "Wide hs\t30\t500\n"
                                                 "HS tube\t4\t60\tzkHS6mm\n"
                                                 "Shelf labels\t22\t100\tzkS24mm\n"}));
    EXPECT_EQ(files("tx12r"), before);
    EXPECT_EQ(paper_tool_calls(paper_tool("tx12r")).size(), 7u);

    lay_out("roll", "lr260");
    ASSERT_EQ(run("lr260", "-P Q -n Long~roll -w 62 -h 5000"), (RunResult{0, ""}));
    EXPECT_EQ(run("lr260", "--list"),
              (RunResult{0, "Long roll\t62\t5000\nShelf labels\t62\t100\n"}));
    ASSERT_EQ(run("lr260", "-P Q -d Long~roll"), (RunResult{0, ""}));
    ASSERT_EQ(run("lr260", "-P Q -d Shelf~labels"), (RunResult{0, ""}));
    EXPECT_EQ(run("lr260", "--list"), (RunResult{0, ""}));
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

    lay_out("tape", "txe47n");
    const std::string printer = "Q $(touch ran) `touch ran`; touch ran | & \"'";
    for (const std::string name :
         {"-d \"$(touch ran)\" `touch ran`;'", "-n", "  blanks  around  ",
          "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xE2\x82\xAC\xE2\x82\xAC"
          "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"}) {  // 32 bytes of UTF-8
        unlink((paper_tool("txe47n") + ".log").c_str());
        EXPECT_EQ(finish(start("txe47n", {"-P", printer, "-n", name, "-w", "9", "-h", "40"})),
                  (RunResult{0, ""}));
        const Calls calls = paper_tool_calls(paper_tool("txe47n"));
        ASSERT_EQ(calls.size(), 2u) << name;
        EXPECT_EQ(calls[1][2], printer);
        EXPECT_EQ(calls[1][4], name);
        EXPECT_EQ(finish(start("txe47n", {"-P", printer, "-d", name})), (RunResult{0, ""}));
        EXPECT_EQ(files("txe47n"), installed_) << name;
    }
    EXPECT_EQ(access("ran", F_OK), -1);
}

TEST_F(Tool, ParallelRunsLoseNoUpdateAndShowNoHalfWrittenFileOrLeftover) {
    lay_out("tape", "txm88");
    const std::string dir = inf("txm88");
    // What killed runs left behind.
    for (const std::string& name : names("txm88")) write_file(dir + name + ".$$$", "old");
    std::atomic<bool> writing{true};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        // Every state a reader may see: the sample file plus whole entry lines.
        while (writing) {
            const std::string seen = read_file(dir + "paperinftxm88");
            torn += seen.rfind(installed_[1], 0) != 0 || seen.back() != '\n';
        }
    });
    constexpr int kRuns = 16;
    std::vector<Started> runs;
    for (int i = 0; i < kRuns; ++i)
        runs.push_back(start("txm88", words("-P Q -n tag~" + std::to_string(i) + " -w 12 -h 50")));
    for (const Started& started : runs) EXPECT_EQ(finish(started), (RunResult{0, ""}));
    writing = false;
    reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(list_folder(dir), (std::vector<std::string>{"ImagingArea", "paperinftxm88",
                                                          "zktxm88func", "zktxm88rc"}));
    const std::vector<std::string> added = files("txm88");
    const auto count = [](const std::string& text, const std::string& part) {
        int found = 0;
        for (std::size_t at = text.find(part); at != std::string::npos;
             at = text.find(part, at + 1))
            ++found;
        return found;
    };
    for (int i = 0; i < kRuns; ++i) {
        const std::string name = "/tag " + std::to_string(i);
        EXPECT_EQ(count(added[0], name + "\n") + count(added[1], name + ":\t70\t353\n"), 2) << name;
    }
    EXPECT_EQ(std::count(added[3].begin(), added[3].end(), '\n'),
              std::count(installed_[3].begin(), installed_[3].end(), '\n') + kRuns);
    runs.clear();
    for (int i = 0; i < kRuns; ++i)
        runs.push_back(start("txm88", words("-P Q -d tag~" + std::to_string(i))));
    for (const Started& started : runs) EXPECT_EQ(finish(started), (RunResult{0, ""}));
    EXPECT_EQ(files("txm88"), installed_);
}
