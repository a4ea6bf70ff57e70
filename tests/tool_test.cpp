// The built tool through its real command line, under the names it is installed as, on
// sample drivers in a fresh folder of each test's, its clock stopped by a preloaded shim.
#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "support.h"

namespace {

const RunResult kDone{0, ""};

class Tool : public testing::Test {
protected:
    // Others (the ordinary user of one test) must reach the drivers and the tool.
    Tool() {
        chmod(root_.path.c_str(), 0755);
        chmod(bin_.path.c_str(), 0755);
    }

    std::string inf(const std::string& model) { return root_ / model + "/bin/inf/"; }
    std::string paper_tool(const std::string& model) {
        return root_ / model + "/bin/lpd/zkpapertoolcups_" + model;
    }
    Files files(const std::string& model) {
        const std::string in = inf(model);
        return {read_file(in + "zk" + model + "func"), read_file(in + "paperinf" + model),
                read_file(in + "zk" + model + "rc"), read_file(in + "ImagingArea")};
    }
    // What the stand-in paper tool recorded: each word followed by "|", each call by "\n|".
    std::string calls(const std::string& model) {
        std::string log = read_file(paper_tool(model) + ".log");
        std::replace(log.begin(), log.end(), '\0', '|');
        return log;
    }
    // How often the paper tool was called.
    long tool_calls(const std::string& model) {
        const std::string log = calls(model);
        return std::count(log.begin(), log.end(), '\n');
    }

    // A fresh sample driver for `model`: roll-label for "lr…", tape otherwise.
    void lay_out(const std::string& model) {
        const std::string kind = (model[0] == 'l' ? "roll:" : "tape:") + model;
        ASSERT_EQ(finish(start_program("/bin/sh",
                                       {"sh", MAKE_DRIVER_TREE, root_.path, STANDIN_TOOL, kind})),
                  kDone);
        // A model laid out again keeps its link.
        ASSERT_TRUE(symlink(SANDBOX_TOOL, (bin_ / ("zkpapertoollpr_" + model)).c_str()) == 0 ||
                    errno == EEXIST);
        installed_ = files(model);
    }
    // Runs the tool (under ZK_TOOL_WRAPPER, say valgrind, when set).
    Started start(const std::string& model, std::vector<std::string> args,
                  const std::vector<int>& ignored = {}) {
        const char* wrapper = std::getenv("ZK_TOOL_WRAPPER");
        std::vector<std::string> argv = words(wrapper ? wrapper : "");
        argv.push_back(bin_ / ("zkpapertoollpr_" + model));
        argv.insert(argv.end(), args.begin(), args.end());
        return start_program(argv[0], argv, env(), ignored);
    }
    RunResult run(const std::string& model, const std::string& args) {
        return finish(start(model, words(args)));
    }
    // Runs a shell command in `model`'s driver folder, "$1" the paper tool, "$2" the tool.
    RunResult shell(const std::string& model, const std::string& command) {
        const std::string line = "cd " + inf(model) + " && " + command;
        // Not the clock shim: a sanitizer build's would not load into the shell.
        return finish(start_program(
            "/bin/sh",
            {"sh", "-c", line, "sh", paper_tool(model), bin_ / ("zkpapertoollpr_" + model)},
            {env()[0]}));
    }

    // A sanitizer runtime would insist on being preloaded first.
    std::vector<std::string> env() const {
        return {"ZK_DRIVER_ROOT=" + root_.path, "ZK_CLOCK=105", "LD_PRELOAD=" CLOCK_SHIM,
                "ASAN_OPTIONS=verify_asan_link_order=0"};
    }

    // The lines c[2]... of a table row, each ended; %F, %P, %R and %A stand for txm80's
    // function, paper info, settings and imaging area files, %I for its driver folder.
    std::string txm80_lines(const std::vector<std::string>& c) {
        const std::pair<std::string, std::string> marks[] = {{"%F", "zktxm80func"},
                                                             {"%P", "paperinftxm80"},
                                                             {"%R", "zktxm80rc"},
                                                             {"%A", "ImagingArea"},
                                                             {"%I", ""}};
        std::string lines;
        for (std::size_t i = 2; i < c.size(); ++i) {
            std::string line = c[i];
            for (const auto& [mark, name] : marks) {
                if (line.compare(0, 2, mark) == 0) line.replace(0, 2, inf("txm80") + name);
            }
            // The folder without its last "/" where it is all the line names.
            if (const std::size_t at = line.find("/: "); at != std::string::npos) line.erase(at, 1);
            lines += line + "\n";
        }
        return lines;
    }

    TempDir root_, bin_;
    Files installed_;
};

const std::string kNoFile = "No such file or directory\n";
// The usage screen of zkpapertoollpr_<dir>, `printer` its sample printer name.
std::string usage_of(const std::string& dir, const std::string& printer) {
    const std::string example = "\t\"zkpapertoollpr_" + dir + " -P " + printer;
    return "===========================\n"
           " LPRng Paper Size Tool (v 0.2)\tAdds and deletes custom label formats; --list shows "
           "them.\n"
           " Usage: zkpapertoollpr_xxxx -P Printer Name [-n add a Lable Format Name (<=32 bytes) "
           "-w "
           "Media Width(unit:mm) -h Media Height(unit:mm)]/[-d delete Lable Format Name]\n"
           " **Label width is  3.5mm,6mm,9mm,12mm,18mm,24mm,36mm and Height is between 4mm and "
           "1000mm(HS tape max is 500mm)\n"
           " For example:\n"
           " 1. Add a new Label Format with \"New Label Format\" name and 12mm width and 50mm "
           "length:\n" +
           example +
           " -n New\\ Label Namw (\"HS\" contain name means heat srink tube "
           "ex.HS12mmx50mm)\\ Format -w 12 -h 50\" [enter]\n\n"
           " 2. Remove the Label Format with \"New Label Format\" name:\n" +
           example + " -d New\\ Label\\ Format\" [enter]\n\n===========================\n";
}
// The driver package's models: the folder each is installed in, also its command's name,
// and the sample printer name of a tape model's usage screen; a roll-label model has none.
const std::pair<std::string, const char*> kModels[] = {
    {"lr210", nullptr},  {"lr260", nullptr},  {"lr380dt", nullptr}, {"tx5200nw", "TX-5200NW"},
    {"txm88", "TX-M88"}, {"txm80", "TX-M80"}, {"txe47n", "TXE47N"}, {"txe41b", "TXE41b"},
    {"txe40", "TXE40"},  {"txk30", "TX-K30"}, {"tx12r", "TX-12R"}};
const std::string kTooWide =
    ": wider than any tape; this model takes 3.5 (up to 5), 6, 9, 12, 18, 24 mm";

}  // namespace

TEST_F(Tool, RefusesEveryFaultyCommandLineWithTheUsageScreen) {
    lay_out("txm88");
    lay_out("lr210");
    // Words after the name > what the diagnostic says after "<command>: " (nothing for
    // --help); tape model rows, then roll-label rows after the empty one. #, $ and & stand
    // for a 33-byte name, a 1025-byte printer and 32 blanks, @ and % for the ends of the
    // diagnostics that list the options and the tape widths.
    const char* const cases[] = {
        ">-P: missing; an add or a delete names the printer",
        "-P>'-P': missing value",
        "-P Q -n>'-n': missing value",
        "-P Q -d x -n>'-n': missing value",
        "--help",
        "--list x>'--list': unknown option@",
        "-P Q -n a -d a -w 12 -h 50>-n and -d: both given; a run adds or deletes, not both",
        "-P Q -n a -w 12>-h: missing; an add needs a length",
        "-P Q -n a -h 50>-w: missing; an add needs a width",
        "-n a -w 12 -h 50>-P: missing; an add or a delete names the printer",
        "-P Q -w 12 -h 50>-n or -d: missing; name a format to add (-n) or to delete (-d)",
        "-P Q -n a -w 0 -h 50>-w '0': not above 0",
        "-P Q -n a -w 12 -h 0>-h '0': not above 0",
        "-P Q -n a -w -9 -h 5>-w '-9': not above 0",
        "-P Q -n a -w wide -h 50>-w 'wide': not a number",
        "-P Q -n Hs -w 30 -h 50>-w '30'%",
        "-P Q -n # -w 9 -h 9>-n '#': longer than 32 bytes",
        "-P Q -n '' -w 9 -h 9>-n '': empty",
        "-P '' -d a>-P '': empty",
        "-P Q -n a}b -w 9 -h 9>-n 'a\\tb': holds a tab",
        "-P $ -d a>-P '$': longer than 1024 bytes",
        "-P Q -d>'-d': missing value",
        "-P Q -d two^lines>-d 'two\\nlines': holds a newline",
        "-P Q -d a -x 1>'-x': unknown option@",
        "-P Q P a>'P': not an option@",
        "-P Q - a>'-': not an option@",
        "--printer Q -d a>'--printer': unknown option@",
        "-PTX-M88 -d a>'-PTX-M88': took '-d' for its value; write an option and its value as "
        "two words: -P TX-M88",
        "-P Q -d a -w &9>-w '&9': longer than 32 characters",
        "",
        "-P Q -n a -w 3 -h 50>-w '3': roll labels must be wider than 3 mm",
        "-P Q -n a -w 4 -h 6>-h '6': roll labels must be longer than 6 mm",
        "-P Q -n a -w 100000001 -h 50>-w '100000001': above 100000000",
        "-P Q -n a -w 9 -h 99999999999999999999999>-h '99999999999999999999999': above 100000000",
    };
    const auto expand = [](std::string text, char blank) {
        const std::pair<char, std::string> marks[] = {
            {'#', std::string(33, 'n')},
            {'$', std::string(1025, 'p')},
            {'&', std::string(32, blank)},
            {'@',
             "; the options are -P, -n, -d, -w and -h; --list, --check, --version and "
             "--help stand alone"},
            {'%', kTooWide}};
        for (const auto& [mark, with] : marks) {
            for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
                text.replace(at, 1, with);
        }
        return text;
    };
    std::string model = "txm88", usage = usage_of(model, "TX-M88");
    for (const std::string row : cases) {
        if (row.empty()) {  // the roll-label rows follow
            model = "lr210";
            usage = usage_of(model, "");
            continue;
        }
        const std::size_t mark = row.find('>');
        const std::string args = expand(row.substr(0, mark), '~');
        const std::string why = mark == std::string::npos ? "" : expand(row.substr(mark + 1), ' ');
        const std::string err = why.empty() ? "" : "zkpapertoollpr_" + model + ": " + why + "\n";
        EXPECT_EQ(run(model, args), (RunResult{0, usage, err})) << args;
    }
    EXPECT_EQ(calls("txm88"), "");
}

TEST_F(Tool, AddsSizedFormatsToThreeFilesAndThePaperTool) {
    // model | words after the printer | -w | -h to the paper tool | entry without the time
    // fields | paper info dots | imaging area points. A printer (of the most bytes) and
    // names that a shell would take for commands, or the paper tool for an option, must
    // reach it as they are. Each tape row is used once at its nominal width.
    std::string printer = "Q;`touch~ran`$(touch~ran)|&\"'";
    printer.resize(1024, 'p');
    const char* cases[] = {
        "txm88|-n -d;`touch~ran`$(touch~ran)&&'\"~~ -w 9 -h 40|7|40|"
        "ZkL_zkS9mm___2007028/-d;`touch ran`$(touch ran)&&'\"  |50\t283|20.00\t113.21",
        "txm88|-new N~L -wide 12 -high 50|10|50|ZkL_zkS12mm__030A032/N L|70\t353|28.00\t141.52",
        "txm88|-n a -w 3 -h 50|2|50|ZkL_zkS3.5mm_0102032/a|24\t353|9.60\t141.52",
        "txm88|-n a -w 10 -h 50|10|50|ZkL010A032/a|70\t353|28.00\t141.52",
        "txm88|-n a -w 24 -h 1000|22|1000|ZkL_zkS24mm__01163E8/a|128\t7075|51.20\t2830.34",
        "txm88|-n HS -w 12 -h 800|9|500|ZkL_zkHS12mm_02091F4/HS|66\t3537|26.40\t1415.17",
        "txm88|-n a -w 18 -h 800 -n HS|15|500|ZkL_zkHS18mm_020F1F4/HS|106\t3537|42.40\t1415.17",
        "txm88|-n tube~hs -w 30 -h 50|30|50|ZkL071E032/tube hs|0\t353|0.00\t141.52",
        "txm88|-n a -w 6 -h 2|4|4|ZkL_zkS6mm___0104004/a|32\t28|12.80\t11.32",
        "txm88|-n a -w 3 -w 10 -h 5000|10|1000|ZkL_zkS3.5mm_010A3E8/a|70\t7075|28.00\t2830.34",
        "txm88|-n HS -w 12 -w 30 -h 600|30|500|ZkL_zkHS12mm_021E1F4/HS|66\t3537|26.40\t1415.17",
        "txm88|-n a -w 000000000000000000000000000018mm -h ~+50|16|50|ZkL_zkS18mm__0110032/a|"
        "112\t353|44.80\t141.52",
        "txm88|-n hs -w 6 -h 40|4|40|ZkL_zkHS6mm__0204028/hs|28\t283|11.20\t113.21",
        "txm88|-n xHSx -w 24 -h 50|18|50|ZkL_zkHS24mm_0412032/xHSx|128\t353|51.20\t141.52",
        "lr210|-n Address -w 62 -h 100|62|100|ZkL073E064/Address|695\t1108|0.00\t283.03",
        "lr210|-n a -w 4 -h 7|4|7|ZkL0104007/a|11\t11|0.00\t19.81",
        "lr210|-n a -w 100000000 -h 7000|100000000|7000|ZkL015F5E100B58/a|1179310309\t82480|"
        "0.00\t19812.41",
    };
    for (const char* row : cases) {
        std::vector<std::string> c = split(row, '|');
        lay_out(c[0]);
        ASSERT_EQ(run(c[0], "-P " + printer + " " + c[1]), kDone) << row;
        const std::string entry = c[4].insert(c[4].find('/'), "9F3A7");
        const std::string id = entry.substr(0, entry.find('/')), name = entry.substr(id.size() + 1);
        Files added = installed_;
        added[0].insert(added[0].find("[CustomTape]\n") + 13, entry + "\n");
        added[1] += entry + ":\t" + c[5] + "\n";
        added[3] += id + ":\t0.00\t0.00\t" + c[6] + "\n";
        EXPECT_EQ(files(c[0]), added) << row;
        // Every format added can be deleted again.
        EXPECT_EQ(finish(start(c[0], {"-P", words(printer)[0], "-d", name})), kDone) << row;
        EXPECT_EQ(files(c[0]), installed_) << row;
        const std::string tool = paper_tool(c[0]) + "|-P|" + words(printer)[0] + "|-",
                          deleted = tool + "d|" + name + "|-show|1|\n|";
        EXPECT_EQ(calls(c[0]), deleted + tool + "n|" + name + "|-w|" + c[2] + "|-h|" + c[3] +
                                   "|-specid|" + id + "|-show|1|\n|" + deleted)
            << row;
    }
    EXPECT_EQ(access("ran", F_OK), -1);
}

TEST_F(Tool, NoFormatTakesAnothersIdentifierNameOrMark) {
    lay_out("lr210");
    // A delete that finds no paper info file still takes the format's identifier out of
    // every other file.
    ASSERT_EQ(run("lr210", "-P Q -n Gone -w 12 -h 50"), kDone);
    ASSERT_EQ(shell("lr210", "rm paperinflr210"), kDone);
    EXPECT_EQ(run("lr210", "-P Q -d Gone"), (RunResult{0, "Not found 'Gone'\n"}));
    EXPECT_EQ(files("lr210"), (Files{installed_[0], "", installed_[2], installed_[3]}));
    // An orphan left by a hand edit holds an identifier too, and a name a delete must
    // not take for the format the function file lists. A comment may mention the mark.
    write_file(inf("lr210") + "paperinflr210", installed_[1] + "ZkL040C0329F3A8/Tag2:\t1\t1\n");
    ASSERT_EQ(shell("lr210", "sed -i '1i # formats go below the [CustomTape] line' zklr210func"),
              kDone);
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
    const Files now = files("lr210");
    for (const char* line : {"\nZkL040C0329F3A7/Tag1\n", "\nZkL040C0329F3AA/Tag3\n"})
        EXPECT_NE(now[0].find(line), std::string::npos) << line;
    EXPECT_NE(now[1].find("\nZkL040C0329F3A8/Tag2:\t1\t1\n"), std::string::npos);
    EXPECT_EQ(now[3].find("ZkL040C0329F3A9"), std::string::npos);
    // The settings that chose the deleted sample format choose a standard paper instead.
    EXPECT_EQ(now[2], installed_[2].replace(installed_[2].find("ZkL0C3E0642A1B0"), 15, "29X1"));
    // Two entries that share an identifier: a delete takes out only its own entry's lines,
    // and the lines keyed by the identifier alone stay for the other. Comment lines are
    // never formats.
    lay_out("txk30");
    const std::string id = "ZkL_zkS12mm__030A0322BBBB";
    const std::string old = "ZkL_zkS18mm__03100322AAAA";
    ASSERT_EQ(shell("txk30", "sed -i 's|^.CustomTape.$|&\\n" + id + "/Foo\\n" + id + "/Bar\\n;" +
                                 old + "/Old\\n  # " + id + "/Gone|' zktxk30func && printf '" + id +
                                 "/Foo:\\t70\\t353\\n" + id + "/Bar:\\t70\\t353\\n" + old +
                                 "/Old:\\t112\\t353\\n' >>paperinftxk30 && echo " + id +
                                 ":1 >>ImagingArea && echo Media=" + id + " >>zktxk30rc"),
              kDone);
    const Files shared = files("txk30");
    EXPECT_EQ(run("txk30", "-P Q -d Old"), (RunResult{0, "Not found 'Old'\n"}));
    EXPECT_EQ(files("txk30"), shared);
    ASSERT_EQ(run("txk30", "-P Q -d Foo"), kDone);
    const Files left = files("txk30");
    for (const std::string& gone : {id + "/Foo\n", id + "/Foo:"})
        EXPECT_EQ(left[0].find(gone) + left[1].find(gone), 2 * std::string::npos) << gone;
    EXPECT_EQ(left[2], shared[2]);
    EXPECT_EQ(left[3], shared[3]);
    ASSERT_EQ(run("txk30", "-P Q -n Gone -w 9 -h 9"), kDone);
    EXPECT_EQ(run("txk30", "--list").out,
              "Gone\t7\t9\tzkS9mm\nBar\t10\t50\tzkS12mm\n"
              "Shelf labels\t22\t100\tzkS24mm\n");
    EXPECT_NE(files("txk30")[0].find("  # " + id + "/Gone\n"), std::string::npos);
}

TEST_F(Tool, AFailedOperationChangesNoFileAndSaysWhy) {
    // What spoils the driver (a shell command in its folder; $1: the paper tool) | words
    // after "-P Q" | output, with exit status 255 | the diagnostic after "<command>: " |
    // how often the paper tool was called; %I stands for the driver folder, %T for the
    // paper tool. What the file step would refuse is found before the paper tool runs.
    const std::string loop = "Too many levels of symbolic links",
                      none = "No such file or directory";
    const std::string cases[] = {
        "mv ImagingArea ../a; ln -s ../a ImagingArea|-d Shelf~labels|" + loop +
            "|%IImagingArea: " + loop + "|0",
        "mv zktxe40rc ../a; ln -s ../a zktxe40rc|-n Shelf~labels -w 9 -h 40|" + loop +
            "|%Izktxe40rc: " + loop + "|0",
        "rm zktxe40rc; mkfifo zktxe40rc|-d Shelf~labels|Invalid argument|%Izktxe40rc: "
        "Invalid argument|0",
        "rm ImagingArea|-d Shelf~labels|" + none + "|%IImagingArea: " + none + "|0",
        "rm ImagingArea|-n a -w 9 -h 40|" + none + "|%IImagingArea: " + none + "|0",
        "sed -i 's/^.CustomTape./; &/' zktxe40func|-n a -w 9 -h 40||%Izktxe40func: no "
        "[CustomTape] line to add the format after|0",
        "echo 1 >$1.fail|-d Shelf~labels||%T: exited with status 1|1",
        "echo -15 >$1.fail|-n a -w 9 -h 40||%T: killed by signal 15 (Terminated)|1",
        "echo 1 -n >$1.fail|-n a -w 9 -h 40||%T: exited with status 1|2",
        "rm $1|-d a|%T: " + none + "|%T: " + none + "|0",
        "echo 1 -n once >$1.fail|-n Shelf~labels -w 9 -h 40||%T: exited with status 1; the old "
        "format is registered again|3",
    };
    for (const std::string& row : cases) {
        lay_out("txe40");
        std::vector<std::string> c = split(row, '|');
        for (std::string* text : {&c[2], &c[3]}) {
            for (const auto& [mark, path] :
                 {std::pair{"%I", inf("txe40")}, {"%T", paper_tool("txe40")}})
                if (const std::size_t at = text->find(mark); at != std::string::npos)
                    text->replace(at, 2, path);
            if (!text->empty()) *text += "\n";
        }
        ASSERT_EQ(shell("txe40", c[0]), kDone);
        const Files before = files("txe40");
        const std::size_t listed = entries(inf("txe40"));
        EXPECT_EQ(run("txe40", "-P Q " + c[1]),
                  (RunResult{255, c[2], "zkpapertoollpr_txe40: " + c[3]}))
            << row;
        EXPECT_EQ(files("txe40"), before) << row;
        EXPECT_EQ(entries(inf("txe40")), listed) << row;
        EXPECT_EQ(tool_calls("txe40"), std::stol(c[4])) << row;
    }
    // A replace the paper tool refuses registers the old format again, as it was.
    EXPECT_NE(
        calls("txe40").find("|-n|Shelf labels|-w|22|-h|100|-specid|ZkL_zkS24mm__0C160642A1B0|"),
        std::string::npos);
    // A file size limit (of 512 bytes) that the add's line would pass would end the run
    // while staging (and the test's capture of standard error, a file in memory, on the
    // diagnostic).
    lay_out("txe40");
    EXPECT_EQ(shell("txe40",
                    "truncate -s 500 ImagingArea && ulimit -f 1 && $2 -P Q -n a -w 9 -h 40 "
                    "2>/dev/null"),
              (RunResult{255, "File too large\n"}));
    EXPECT_EQ(tool_calls("txe40"), 0);
    // Nor can a file mounted over be replaced; only root may mount one.
    if (shell("txe40", "cp ImagingArea ../a && mount --bind ../a ImagingArea").status == 0) {
        EXPECT_EQ(shell("txe40", "$2 -P Q -d 'Shelf labels'; umount ImagingArea").out,
                  "Device or resource busy\n");
        EXPECT_EQ(tool_calls("txe40"), 0);
    }
}

TEST_F(Tool, SurvivesTheWayItIsStarted) {
    lay_out("txe41b");
    EXPECT_EQ(finish(start("txe41b", words("-P Q -d Shelf~labels"), {SIGCHLD})), kDone);
    // Standard output closed from the start fails no run that has nothing to say.
    EXPECT_EQ(shell("txe41b", "$2 -P Q -n b -w 9 -h 40 >&-"), kDone);
    // Under nohup or in a script's background: a hang-up or interrupt during the run.
    for (int signal_number : {SIGHUP, SIGINT}) {
        write_file(paper_tool("txe41b"),
                   "#!/bin/sh\nkill -" + std::to_string(signal_number) + " $PPID\n");
        EXPECT_EQ(finish(start("txe41b", words("-P Q -n a -w 9 -h 40"), {signal_number})), kDone);
    }
    EXPECT_EQ(run("txe41b", "--list"), (RunResult{0, "a\t7\t40\tzkS9mm\nb\t7\t40\tzkS9mm\n"}));
    // A signal not ignored passes on to the paper tool, and the run waits for it.
    write_file(paper_tool("txe41b"),
               "#!/bin/sh\ntrap 'echo TERM >$0.log; kill $!; exit' TERM\n"
               "kill $PPID\nsleep 9 >/dev/null & wait\n");
    EXPECT_EQ(run("txe41b", "-P Q -d a").status, 128 + SIGTERM);
    EXPECT_EQ(calls("txe41b"), "TERM\n");
}

TEST_F(Tool, AnOrdinaryUserMayChangeADriverEveryoneMayWrite) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    lay_out("txe47n");
    // nobody, in group users, may give a file the group nogroup but not the owner root.
    const std::string nobody = "setpriv --reuid=nobody --regid=users --groups=nogroup ";
    if (shell("txe47n", nobody + "test -x $PWD").status != 0)
        GTEST_SKIP() << "nobody cannot reach the sandbox; .ci/run opens the checkout to all";
    const std::string tool = nobody + "$2 -P Q ";
    ASSERT_EQ(shell("txe47n", "chmod 777 . ../lpd && chown 0:65534 * && chmod 600 zktxe47nfunc"),
              kDone);
    // A refused run says why, and of which file ("" for the folder).
    const auto failed = [this](const std::string& file, const std::string& why) {
        const std::string in = "zkpapertoollpr_txe47n: " + inf("txe47n");
        return RunResult{255, why + "\n",
                         in.substr(0, in.size() - file.empty()) + file + ": " + why + "\n"};
    };
    EXPECT_EQ(shell("txe47n", tool + "-d 'Shelf labels'"),
              failed("zktxe47nfunc", "Permission denied"));
    EXPECT_EQ(
        shell("txe47n", "chmod 666 zktxe47nfunc && chmod 755 . && " + tool + "-d 'Shelf labels'"),
        failed("", "Permission denied"));
    EXPECT_EQ(shell("txe47n", "chmod 777 . && " + tool +
                                  "-n 'Small tag' -w 12 -h 50 && stat -c %a:%g ImagingArea"),
              (RunResult{0, "666:65534\n"}));
    // A sticky folder would refuse the rename over the settings file, still root's, and
    // so it would for root without CAP_FOWNER in a folder of nobody's.
    const Files added = files("txe47n");
    EXPECT_EQ(shell("txe47n", "chmod 1777 . && " + tool + "-d 'Shelf labels'"),
              failed("zktxe47nrc", "Operation not permitted"));
    EXPECT_EQ(shell("txe47n",
                    "chown 65534 . && setpriv --bounding-set=-fowner $2 -P Q "
                    "-d 'Shelf labels'"),
              failed("zktxe47nfunc", "Operation not permitted"));
    EXPECT_EQ(files("txe47n"), added);
    // The owner of the folder, or of every file changed, may change them in a sticky folder.
    EXPECT_EQ(shell("txe47n", tool + "-d 'Small tag' && chown 0 . && " + tool +
                                  "-n Tag -w 9 -h 9 && " + tool + "-d Tag"),
              kDone);
    EXPECT_EQ(files("txe47n"), installed_);
    // A commit record that nobody wrote, or made of a file of root's that nobody may write
    // (linked in, the original removed), names a staged file of nobody's: root's next run
    // must not put it in place of root's files.
    for (const char* made : {"", "ln ../lpd/f $r && rm ../lpd/f && "}) {
        EXPECT_EQ(shell("txe47n",
                        "chown 0 * && touch ../lpd/f && chgrp users ../lpd/f && "
                        "chmod 664 ../lpd/f && " +
                            nobody +
                            "sh -c 'umask 22; t=0123456789abcdef; s=zktxe47nfunc.zk-$t "
                            "r=zkpapertoollpr.$t.commit; echo EVIL >$s && " +
                            made +
                            "printf \"zkpapertoollpr change\\nzktxe47nfunc %s\\nend\\n\" "
                            "$(stat -c %i $s) >$r' && $2 --list"),
                  (RunResult{0, "Shelf labels\t22\t100\tzkS24mm\n"}))
            << made;
        EXPECT_EQ(files("txe47n"), installed_) << made;
    }
    // An operation nobody recorded is carried out by root's next change, but its paper
    // tool runs as nobody: a record gives no one more than their own command line would.
    const RunResult finished = shell(
        "txe47n",
        "chmod 777 . && chmod 666 ../lpd/*.log && " + nobody +
            "sh -c 'umask 22; printf \"zkpapertoollpr operation\\nprinter\\tQ\\nadd\\t"
            "Nobody\\t7\\t9\\t_zkS9mm___\\t50\\tZkL_zkS9mm___06070090F3A7\\t\\t0\\t0"
            "\\nend\\n\" >zkpapertoollpr.0123456789abcdee.operation' && $2 --list >../l 2>&- && "
            "$2 -P Q --apply ../l && stat -c %U ../lpd/zkpapertoolcups_txe47n.held");
    EXPECT_EQ(finished, (RunResult{0, "nobody\n",
                                   "zkpapertoollpr_txe47n: the add of 'Nobody' a killed run left: "
                                   "finished now\n"}));
    // A reader that may not finish root's commit a kill cut short between its renames
    // reads the files it committed, not the old paper info with the new function file.
    lay_out("lr210");
    const RunResult committed = shell(
        "lr210",
        "t=0123456789abcde1 && f=zklr210func p=paperinflr210 && cp $f $f.zk-$t && cp $p $p.zk-$t "
        "&& sed -i '/CustomTape/a ZkL093E3880F3A7/Long roll' $f.zk-$t && printf "
        "'ZkL093E3880F3A7/Long roll:\\t695\\t58894\\n' >>$p.zk-$t && printf 'zkpapertoollpr "
        "change\\n%s %s\\n%s %s\\nend\\n' $f $(stat -c %i $f.zk-$t) $p $(stat -c %i $p.zk-$t) "
        ">zkpapertoollpr.$t.commit && mv $f.zk-$t $f && " +
            nobody + "$2 --list");
    EXPECT_EQ(committed.out, "Long roll\t62\t5000\nShelf labels\t62\t100\n") << committed;
}

TEST_F(Tool, ListsTheFormatsNewestFirstAndChangesNothing) {
    lay_out("tx12r");
    // A name another tool gave control characters and a backslash shows escaped, and can
    // be deleted. Both 9 mm tapes print 7 mm: the dots tell which one a format is on.
    ASSERT_EQ(
        shell("tx12r",
              "sed -i 's/Shelf labels/Sh\\r\\o033\\o177\\tlabel\\\\/' zktx12rfunc paperinftx12r"),
        kDone);
    for (const char* args : {"HS~tube -w 7 -h 60", "Ten -w 10 -h 50", "Wide~hs -w 30 -h 900"})
        ASSERT_EQ(run("tx12r", std::string("-P Q -n ") + args), kDone);
    ASSERT_EQ(run("tx12r", "-P Q -d Ten"), kDone);
    const Files before = files("tx12r");
    const std::string called = calls("tx12r");
    const std::string listed = "Wide hs\t30\t500\nHS tube\t7\t60\tzkHS9mm\n";
    EXPECT_EQ(run("tx12r", "--list"),
              (RunResult{0, listed + "Sh\\r\\033\\177\\tlabel\\\\\t22\t100\tzkS24mm\n"}));
    EXPECT_EQ(files("tx12r"), before);
    EXPECT_EQ(calls("tx12r"), called);
    EXPECT_EQ(shell("tx12r", "$2 -P Q -d \"$(printf 'Sh\\r\\033\\177\\tlabel\\\\')\""), kDone);
    EXPECT_EQ(run("tx12r", "--list").out, listed);
    lay_out("lr260");
    ASSERT_EQ(run("lr260", "-P Q -n Long~roll -w 62 -h 5000"), kDone);
    EXPECT_EQ(run("lr260", "--list").out, "Long roll\t62\t5000\nShelf labels\t62\t100\n");
    // Whatever order hand edits leave the paper info file in, a length comes from the
    // first entry of its format: 5,000 formats, more than wait for one read of the file.
    ASSERT_EQ(shell("lr260", "sh " MAKE_FORMATS " . lr260 5000 roll"), kDone);
    const RunResult all = run("lr260", "--list");
    ASSERT_EQ(all.out.substr(0, 62),
              "Bench target\t62\t100\nFormat 004999\t62\t100\nFormat 004998\t62\t5000");
    const auto edit = [this](const std::string& lines) {
        return shell("lr260", "mv paperinflr260 p; { head -1 p; " + lines + "; } >paperinflr260");
    };
    const std::string longer = "grep 'Bench target' p | sed s/1108$/58894/";
    for (const std::string& lines : std::vector<std::string>{
             "sed -n 2,2500p p; head -c 200000 /dev/zero | tr '\\0' x; echo; tail -n +2501 p",
             "tail -n +2 p | tac", "tail -n +2 p | shuf", "tail -n +2 p; " + longer}) {
        ASSERT_EQ(edit(lines), kDone);
        EXPECT_EQ(run("lr260", "--list"), all) << lines;
    }
    ASSERT_EQ(edit(longer + "; tail -n +2 p"), kDone);
    EXPECT_EQ(run("lr260", "--list").out, "Bench target\t62\t4196" + all.out.substr(19));
    // A length's low bits and its dots that a hand edit made disagree give no negative.
    ASSERT_EQ(shell("lr260",
                    "sed -i 's/^.CustomTape.$/&\\nZkL0312C050EB4E\\/Odd/' zklr260func && "
                    "echo 'ZkL0312C050EB4E/Odd:\t70\t872' >>paperinflr260"),
              kDone);
    EXPECT_EQ(run("lr260", "--list").out.substr(0, 12), "Odd\t18\t3077\n");
    EXPECT_EQ(shell("lr260", "$2 --list >/dev/full"),
              (RunResult{255, "", "zkpapertoollpr_lr260: write error: No space left on device\n"}));
    unlink((inf("lr260") + "zklr260func").c_str());
    EXPECT_EQ(run("lr260", "--list"),
              (RunResult{255, kNoFile,
                         "zkpapertoollpr_lr260: " + inf("lr260") + "zklr260func: " + kNoFile}));
    EXPECT_EQ(run("lr260", "--version"), (RunResult{0, "zkpapertoollpr v 0.2\n"}));
}

TEST_F(Tool, ChecksTheFilesAgainstEachOtherAndChangesNothing) {
    // What damages the driver (a shell command in its folder) | the exit status | each
    // line --check prints (for 255: the diagnostic), marked as txm80_lines() reads them.
    const std::string cases[] = {
        "true|0",
        "printf 'ZkL_zkS12mm__030A0322BBBB/Foo\\nZkL_zkS12mm__030A0322BBBB/Bar\\n"
        ";ZkL_zkS18mm__03100322AAAA/Old\\nZkL_zkS18mm__03100322AAAA/Foo\\n' >>zktxm80func; "
        "printf 'ZkL_zkS12mm__030A0322BBBB/%s:\\t70\\t353\\n' Foo Bar Foo Gon >>paperinftxm80|1"
        "|%F:11: identifier listed by an earlier entry|%F:13: name listed by an earlier entry"
        "|%F:13: format without a paper info line|%P:7: same format as an earlier line"
        "|%P:8: orphan: no entry lists its format",
        "sed -i 's/^.CustomTape.$/&ZkL_zkS12mm__030A0322DDDD\\/Qux/' zktxm80func; "
        "printf 'ZkL_zkS12mm__030A0322CCCC Baz\\nZkLxyz/Bad\\n' >>zktxm80func; "
        "printf 'ZkL_zkS12mm__030A0322DDDD/Qux:\\t70\\n' >>paperinftxm80|1"
        "|%F: no [CustomTape] line|%F:6: joined to another line"
        "|%F:6: format without a paper info line|%F:10: identifier without a name"
        "|%F:11: unreadable identifier|%P:5: no sizes",
        "echo Media=ZkL_zkS12mm__030A03229999 >>zktxm80rc; sed -n 3p ImagingArea >>ImagingArea; "
        "printf 'ZkL_zkS12mm__030A03229999:\\t0\\t0\\t1\\t1\\n' >>ImagingArea; touch "
        "zkpapertoollpr.0123456789abcdef.commit zkpapertoollpr.0123456789abcdef.operation "
        "ImagingArea.zk-0123456789abcdef 'zktxm80rc.$$$'|1"
        "|%IImagingArea.zk-0123456789abcdef: temporary file a killed run left"
        "|%Izkpapertoollpr.0123456789abcdef.commit: change a killed run left unfinished"
        "|%Izkpapertoollpr.0123456789abcdef.operation: operation a killed run left undone"
        "|%Izktxm80rc.$$$: temporary file a killed run left"
        "|%R:5: orphan: no entry lists its format|%A:4: same format as an earlier line"
        "|%A:5: orphan: no entry lists its format",
        "rm paperinftxm80; mv ImagingArea ../a; ln -s ../a ImagingArea|1|%P: missing"
        "|%A: not a regular file",
        "cd .. && rm -r inf && touch inf|255|%I: Not a directory",
    };
    for (const std::string& row : cases) {
        lay_out("txm80");
        const std::vector<std::string> c = split(row, '|');
        const std::string lines = txm80_lines(c);
        ASSERT_EQ(shell("txm80", c[0]), kDone) << row;
        const Files before = files("txm80");
        const int status = std::stoi(c[1]);
        const RunResult expected = status == 255
                                       ? RunResult{255, "", "zkpapertoollpr_txm80: " + lines}
                                       : RunResult{status, lines};
        EXPECT_EQ(run("txm80", "--check"), expected) << row;
        EXPECT_EQ(files("txm80"), before) << row;
    }
    // A script reads its status: a word it cannot take is a failure, not the usage
    // screen's 0.
    EXPECT_EQ(
        run("txm80", "--check -P x"),
        (RunResult{255, "",
                   "zkpapertoollpr_txm80: '--check': stands alone after the command name\n"}));
}

TEST_F(Tool, RepairsWhatItCanInOneChangeAndSaysWhatItKept) {
    // What damages the driver | the exit status | each line --repair prints (for 255: the
    // diagnostic), marked as in the check's table. Where it mends all, the files are the
    // sample's again, but for a settings line reset to the default media.
    const std::string cases[] = {
        "true|0",
        "printf 'ZkL_zkS18mm__0C100322AAAA/Shelf labels\\n%s\\n' \"$(sed -n 7p zktxm80func)\" "
        ">>zktxm80func; printf "
        "'ZkL_zkS18mm__0C100322AAAA/Shelf labels:\\t100\\t353\\nZkL_zkS12mm__030A0322BBBB/Gon:"
        "\\t70\\t353\\n' >>paperinftxm80; sed -n 4p paperinftxm80 >>paperinftxm80; printf "
        "'ZkL_zkS18mm__0C100322AAAA:\\t0\\t0\\t1\\t1\\nZkLbad\\n' >>ImagingArea; "
        "echo Media=ZkL_zkS18mm__0C100322AAAA >>zktxm80rc; touch 'zktxm80rc.$$$'|0"
        "|%Izktxm80rc.$$$: removed: temporary file a killed run left"
        "|%F:7: registered again: name listed by later entries"
        "|%F:10: removed: name listed by an earlier entry"
        "|%F:11: removed: name listed by an earlier entry|%P:5: removed: line of a removed entry"
        "|%P:6: removed: orphan: no entry lists its format"
        "|%P:7: removed: same format as an earlier line|%R:5: reset: line of a removed entry"
        "|%A:4: removed: line of a removed entry|%A:5: removed: unreadable identifier",
        "sed -i 's/^.CustomTape.$/&ZkL_zkS12mm__030A0322CCCC\\/Dup/' zktxm80func; printf "
        "'ZkL_zkS24mm__0C160642A1B0/Other labels\\nZkL_zkS12mm__030A0322DDDD/Dup\\nZkLxyz/Bad\\n' "
        ">>zktxm80func; printf 'ZkL_zkS24mm__0C160642A1B0/Other labels:\\t1\\t2\\nZkL_zkS12mm__"
        "030A0322DDDD/Dup:\\t1\\t2\\nZkLxyz/Bad:\\t1\\t2\\nZkL_zkS12mm__030A0322EEEE/Gon:"
        "\\t1\\t2ZkL_zkS24mm__0C160642A1B0/Shelf labels:\\t128\\t707\\n' >>paperinftxm80|1"
        "|%F:6: split: joined to another line|%F:7: kept: format without a paper info line"
        "|%F:11: kept: identifier listed by an earlier entry"
        "|%F:12: kept: name listed by an earlier entry|%F:13: kept: unreadable identifier"
        "|%P:7: kept: unreadable identifier|%P:8: kept: joined to another line"
        "|%P:8: kept: orphan: no entry lists its format|%P:8: kept: same format as an earlier line",
        "rm paperinftxm80|1|%P: kept: missing",
        // A settings line whose "ZkL" names no format is no choice of one.
        "echo Description=ZkLabel >>zktxm80rc|1|%R:5: kept: unreadable identifier",
        "cd .. && rm -r inf && touch inf|255|%I: Not a directory",
    };
    const auto mtime = [this] {
        struct stat status {};
        stat(inf("txm80").c_str(), &status);
        return std::make_pair(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
    };
    for (const std::string& row : cases) {
        lay_out("txm80");
        const std::vector<std::string> c = split(row, '|');
        const std::string lines = txm80_lines(c);
        ASSERT_EQ(shell("txm80", c[0]), kDone) << row;
        const int status = std::stoi(c[1]);
        const RunResult expected = status == 255
                                       ? RunResult{255, "", "zkpapertoollpr_txm80: " + lines}
                                       : RunResult{status, lines};
        EXPECT_EQ(run("txm80", "-P Q --repair"), expected) << row;
        if (status == 255) continue;
        // What it kept is what the check finds now, and all a second repair says; that
        // one writes nothing, not even the folder.
        std::string kept, found;
        for (const std::string& line : split(lines, '\n')) {
            if (line.find(": kept: ") == std::string::npos) continue;
            kept += line + "\n";
            found +=
                line.substr(0, line.find("kept: ")) + line.substr(line.find("kept: ") + 6) + "\n";
        }
        EXPECT_EQ(run("txm80", "--check"), (RunResult{status, found})) << row;
        const Files after = files("txm80");
        const auto written = mtime();
        EXPECT_EQ(run("txm80", "-P Q --repair"), (RunResult{status, kept})) << row;
        EXPECT_EQ(files("txm80"), after) << row;
        EXPECT_EQ(mtime(), written) << row;
        Files sample = installed_;
        if (lines.find(": reset: ") != std::string::npos) sample[2] += "Media=zkS12mm\n";
        if (status == 0) {
            EXPECT_EQ(after, sample) << row;
        }
        EXPECT_EQ(tool_calls("txm80"), lines.find("registered again") != std::string::npos ? 2 : 0)
            << row;
    }
    EXPECT_EQ(
        run("txm80", "--repair"),
        (RunResult{255, "", "zkpapertoollpr_txm80: -P: missing; a repair names the printer\n"}));
    // An identifier that is only the start of a longer one keeps no line of it alive: the
    // first repair leaves nothing for a check or a second repair.
    lay_out("txm80");
    ASSERT_EQ(shell("txm80",
                    "sed -i 's/^.CustomTape.$/&\\nZkL0412C050EB4E6\\/Wide\\nZkL0412C050EB4E"
                    "\\/Wide/' zktxm80func && printf 'ZkL0412C050EB4E6/Wide:\t70\t57\n"
                    "ZkL0412C050EB4E/Wide:\t70\t57\n' >>paperinftxm80 && "
                    "echo Media=ZkL0412C050EB4E >>zktxm80rc"),
              kDone);
    EXPECT_EQ(run("txm80", "-P Q --repair").status, 0);
    EXPECT_EQ(run("txm80", "--check"), kDone);
    EXPECT_EQ(run("txm80", "-P Q --repair"), kDone);
}

TEST_F(Tool, PicksTheModelByTheNameItRunsUnderOrNamesTheInvalid) {
    // A tape model refuses a width no tape has; a roll-label model goes on to its driver,
    // not laid out here.
    std::string names;
    for (const auto& [dir, printer] : kModels) {
        names += (names.empty() ? "zkpapertoollpr_" : ", zkpapertoollpr_") + dir;
        ASSERT_EQ(symlink(SANDBOX_TOOL, (bin_ / ("zkpapertoollpr_" + dir)).c_str()), 0);
        const std::string said = "zkpapertoollpr_" + dir + ": ";
        const RunResult refused{0, usage_of(dir, printer ? printer : ""),
                                said + "-w '25'" + kTooWide + "\n"},
            went_on{255, kNoFile, said + root_ / dir + "/bin/inf: " + kNoFile};
        EXPECT_EQ(run(dir, "-P Q -d a -w 25"), printer ? refused : went_on) << dir;
    }
    ASSERT_EQ(symlink(SANDBOX_TOOL, (bin_ / "zkpapertoollpr_xxxx").c_str()), 0);
    EXPECT_EQ(run("xxxx", "-P Q -d x"),
              (RunResult{0, bin_ / "zkpapertoollpr_xxxx is invalid.\n\n",
                         "zkpapertoollpr_xxxx: no printer model in the command's name: run it as " +
                             names + "\n"}));
    // The command's own name decides, the first key in table order winning; only a name
    // without a key looks at its folder.
    mkdir((bin_ / "zkpapertoollpr_in_lr380dt").c_str(), 0755);
    for (const char* row :
         {"in_lr380dt/zkpapertoollpr_txm88_lr260|lr260", "in_lr380dt/zkpapertoollpr|lr380dt"}) {
        const std::vector<std::string> c = split(row, '|');
        ASSERT_EQ(symlink(SANDBOX_TOOL, (bin_ / ("zkpapertoollpr_" + c[0])).c_str()), 0);
        EXPECT_NE(run(c[0], "--help").out.find("\"zkpapertoollpr_" + c[1] + " -P  -d"),
                  std::string::npos)
            << row;
    }
}

TEST_F(Tool, ParallelRunsLoseNoUpdateAndShowNoHalfWrittenFileOrLeftover) {
    lay_out("txm88");
    const std::string dir = inf("txm88");
    // What killed runs left, here links, a staged file and a record cut short that names
    // it, is removed by the next run and never followed; what it may not remove (a
    // folder) never blocks it.
    ASSERT_EQ(shell("txm88",
                    "echo v >../v; for f in *; do ln -s ../v \"$f\".'$$$'; done; "
                    "t=0123456789abcdef; mkdir zktxm88rc.zk-$t; echo EVIL >zktxm88func.zk-$t; "
                    "printf 'zkpapertoollpr change\\nzktxm88func 1\\n' >zkpapertoollpr.$t.commit"),
              kDone);
    // A run that changes no file still removes them.
    EXPECT_EQ(run("txm88", "-P Q -d none"), (RunResult{0, "Not found 'none'\n"}));
    EXPECT_EQ(entries(dir), 5u);
    std::atomic<bool> writing{true};
    std::thread reader([&] {  // sees the sample file plus whole entry lines, nothing else
        for (std::string seen; writing; seen = read_file(dir + "paperinftxm88"))
            ASSERT_TRUE(seen.empty() || (seen.rfind(installed_[1], 0) == 0 && seen.back() == '\n'));
    });
    constexpr int kRuns = 16;
    const auto in_parallel = [&](const std::string& operation, const std::string& size) {
        std::vector<Started> runs;
        for (int i = 0; i < kRuns; ++i)
            runs.push_back(start("txm88", words("-P Q " + operation + std::to_string(i) + size)));
        // A slow run (under valgrind) may wait long enough to say so.
        for (const Started& started : runs) {
            const RunResult done = finish(started);
            EXPECT_EQ((RunResult{done.status, done.out}), kDone) << done;
        }
    };
    // A lost update would leave a delete nothing to find.
    in_parallel("-n tag", " -w 12 -h 50");
    in_parallel("-d tag", "");
    writing = false;
    reader.join();
    EXPECT_EQ(files("txm88"), installed_);
    EXPECT_EQ(entries(dir), 5u);
    EXPECT_EQ(read_file(dir + "../v"), "v\n");
    // A run that waits for another's lock says so, naming it; listings share it (with no
    // leftover to remove).
    const RunResult waited = shell("txm88",
                                   "rmdir *.zk-*; flock -s . sleep 3 & echo $!; sleep 0.2; "
                                   "$2 -P Q -d x & $2 --list; wait");
    const std::string holder = waited.out.substr(0, waited.out.find('\n'));
    EXPECT_EQ(waited.err, "zkpapertoollpr_txm88: waiting for the driver lock: process " + holder +
                              " (flock) is changing this driver\n");
}

TEST_F(Tool, AKilledRunIsFinishedByTheNextChangeAndNoWaitIsForEver) {
    lay_out("txm88");
    const std::string held = paper_tool("txm88") + ".held";
    write_file(held, "Shelf labels\t22\t100\tZkL_zkS24mm__0C160642A1B0\n");
    // Killed while the paper tool takes its time over -n: the tool goes on, and holds
    // "Lost" when it ends; the files do not yet.
    write_file(paper_tool("txm88") + ".slow", "4");
    const Started killed = start("txm88", words("-P Q -n Lost -w 12 -h 50"));
    while (calls("txm88").find("|-n|") == std::string::npos) usleep(10'000);
    // Not finish(): the paper tool holds the run's standard output open until it ends.
    kill(killed.pid, SIGKILL);
    waitpid(killed.pid, nullptr, 0);
    close(killed.out_fd);
    close(killed.err_fd);
    const RunResult listed = run("txm88", "--list");
    EXPECT_EQ(listed.out, "Shelf labels\t22\t100\tzkS24mm\n");
    EXPECT_NE(listed.err.find("the add of 'Lost' a killed run left: waits for the next change"),
              std::string::npos)
        << listed;
    // The next change waits for that paper tool, then does the add again from its start.
    const RunResult next = run("txm88", "-P Q -d none");
    EXPECT_EQ(next.out, "Not found 'none'\n");
    for (const char* said : {"waiting for the paper tool a killed run left: process ",
                             " (zkpapertoolcups) is still working\n",
                             ": the add of 'Lost' a killed run left: finished now\n"})
        EXPECT_NE(next.err.find(said), std::string::npos) << next;
    EXPECT_EQ(run("txm88", "--list").out,
              "Lost\t10\t50\tzkS12mm\nShelf labels\t22\t100\tzkS24mm\n");
    EXPECT_EQ(read_file(held),
              "Shelf labels\t22\t100\tZkL_zkS24mm__0C160642A1B0\n"
              "Lost\t10\t50\tZkL_zkS12mm__040A0329F3A7\n");
    EXPECT_EQ(entries(inf("txm88")), 4u);
    // Whoever holds the lock, a run gives up after its limit and names the holder.
    const RunResult gave_up = shell("txm88",
                                    "flock -s . sleep 2 & echo $!; sleep 0.2; "
                                    "ZK_WAIT_SECONDS=1 $2 -P Q -d x; echo $?; wait");
    const std::string holder = gave_up.out.substr(0, gave_up.out.find('\n'));
    EXPECT_EQ(gave_up.out, holder + "\n255\n");
    EXPECT_EQ(gave_up.err, "zkpapertoollpr_txm88: waiting for the driver lock: process " + holder +
                               " (flock) is changing this driver\nzkpapertoollpr_txm88: " +
                               inf("txm88").substr(0, inf("txm88").size() - 1) +
                               ": gave up waiting for the driver lock: process " + holder +
                               " (flock)\n");
}

TEST_F(Tool, AppliesAFileOfFormatsAsOneChange) {
    lay_out("txm88");
    const std::string file = root_ / "f";
    const auto apply = [&](const std::string& lines, const std::string& args) {
        write_file(file, lines);
        return run("txm88", "-P Q --apply " + file + " " + args);
    };
    const auto list = [&] { return run("txm88", "--list").out; };
    const std::string shelf = list();
    // Each line sized as an add sizes it: a tape, a heat-shrink name, a length clamped.
    const std::string wanted = "Tag\t12\t50\nHS tube\t7\t60\n# not a format\n\nWide hs\t30\t900\n";
    const std::string added = "added\tTag\nadded\tHS tube\nadded\tWide hs\n";
    EXPECT_EQ(apply(wanted + shelf, "--dry-run"), (RunResult{1, added}));
    EXPECT_EQ(tool_calls("txm88"), 0);
    EXPECT_EQ(apply(wanted + shelf, ""), (RunResult{0, added}));
    EXPECT_EQ(tool_calls("txm88"), 6);
    const std::string listed = list();
    EXPECT_EQ(listed, "Tag\t10\t50\tzkS12mm\nHS tube\t7\t60\tzkHS9mm\nWide hs\t30\t500\n" + shelf);
    // The listing applied changes nothing and calls no paper tool.
    EXPECT_EQ(apply(listed, "--prune"), kDone);
    EXPECT_EQ(apply(listed, "--dry-run"), kDone);
    EXPECT_EQ(tool_calls("txm88"), 6);
    // A resize keeps the printer's choice of the format; --prune deletes what is not wanted.
    EXPECT_EQ(apply("Shelf labels\t18\t60\n", "--prune"),
              (RunResult{0,
                         "replaced\tShelf labels\ndeleted\tTag\ndeleted\tHS tube\n"
                         "deleted\tWide hs\n"}));
    const std::string id = files("txm88")[0].substr(files("txm88")[0].find("ZkL"), 25);
    EXPECT_NE(files("txm88")[2].find("Media=" + id + "\n"), std::string::npos) << id;
    // On a driver without the formats it makes them again, in its order.
    lay_out("txm88");
    ASSERT_EQ(run("txm88", "-P Q -d Shelf~labels"), kDone);
    EXPECT_EQ(apply(listed, "").status, 0);
    EXPECT_EQ(list(), listed);
    // A format the paper tool refuses undoes the formats before it; no file changes.
    const Files before = files("txm88");
    const long called = tool_calls("txm88");
    write_file(paper_tool("txm88") + ".fail", "1 -n B");
    EXPECT_EQ(apply("A\t9\t40\nB\t9\t40\n", ""),
              (RunResult{255, "",
                         "zkpapertoollpr_txm88: 'B': " + paper_tool("txm88") +
                             ": exited with status 1; the formats before it are as they "
                             "were; no file changed\n"}));
    EXPECT_EQ(tool_calls("txm88") - called, 5);
    EXPECT_EQ(calls("txm88").substr(calls("txm88").rfind("-P")), "-P|Q|-d|A|-show|1|\n|");
    EXPECT_EQ(files("txm88"), before);
    // A file at fault changes nothing and says where.
    const std::string cases[] = {
        "Tag\t12|f:1: a name, a width, a length and a tape take 3 or 4 tab-separated fields, "
        "not 2",
        "Tag\t0\t50|f:1: width '0': not above 0",
        "Tag\t12\t50\tzkX9mm|f:1: 'Tag': no such tape on this model",
        "#\nTag\t12\t50\nTag\t9\t40|f:3: 'Tag' stands on line 2 too",
        "x\\q\t12\t50|f:1: name 'x\\\\q': unknown escape",
        "Tag\t30\t50|f:1: 'Tag'" + kTooWide,
    };
    for (const std::string& row : cases) {
        const std::vector<std::string> c = split(row, '|');
        EXPECT_EQ(apply(c[0], "--prune"),
                  (RunResult{255, "", "zkpapertoollpr_txm88: " + root_.path + "/" + c[1] + "\n"}))
            << row;
    }
    EXPECT_EQ(run("txm88", "-P Q --apply"),
              (RunResult{255, "", "zkpapertoollpr_txm88: '--apply': missing value\n"}));
    EXPECT_EQ(files("txm88"), before);
}
