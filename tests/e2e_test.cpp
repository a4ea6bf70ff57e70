// Runs the built tool, under the names it is installed as, against sample driver trees
// in the sandbox build's driver root.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support.h"

namespace {

using Calls = std::vector<std::vector<std::string>>;

class EndToEnd : public testing::Test {
protected:
    // Lays out a fresh sample driver for `model` and names the tool after it.
    std::string install(const std::string& kind, const std::string& model) {
        const RunResult laid =
            run({"/bin/sh", MAKE_DRIVER_TREE, SANDBOX_ROOT, STANDIN_TOOL, kind + ":" + model});
        EXPECT_EQ(laid.status, 0);
        return named("zkpapertoollpr_" + model);
    }
    std::string named(const std::string& name) {
        const std::string link = bin_ / name;
        symlink(SANDBOX_TOOL, link.c_str());
        return link;
    }
    static std::string inf(const std::string& model) {
        return std::string(SANDBOX_ROOT) + "/" + model + "/bin/inf/";
    }
    static std::vector<std::string> files(const std::string& model) {
        const std::string dir = inf(model);
        return {read_file(dir + "zk" + model + "func"), read_file(dir + "paperinf" + model),
                read_file(dir + "zk" + model + "rc"), read_file(dir + "ImagingArea")};
    }
    static std::string paper_tool(const std::string& model) {
        return std::string(SANDBOX_ROOT) + "/" + model + "/bin/lpd/zkpapertoolcups_" + model;
    }

    TempDir bin_;
};

std::vector<std::string> wrapper_words() {
    std::vector<std::string> words;
    std::istringstream wrapper(std::getenv("ZK_TOOL_WRAPPER") ? std::getenv("ZK_TOOL_WRAPPER")
                                                              : "");
    for (std::string word; wrapper >> word;) words.push_back(word);
    return words;
}

// Starts the tool (words[0] names it), under ZK_TOOL_WRAPPER, say valgrind, when set.
Started start_tool(const std::vector<std::string>& words,
                   const std::vector<std::string>& extra_env = {}) {
    std::vector<std::string> argv = wrapper_words();
    argv.insert(argv.end(), words.begin(), words.end());
    return start_program(argv[0], argv, extra_env);
}

RunResult run_tool(const std::vector<std::string>& words,
                   const std::vector<std::string>& extra_env = {}) {
    return finish(start_tool(words, extra_env));
}

std::string usage_start() { return std::string(27, '=') + "\n LPRng Paper Size Tool (v 0.2)\t"; }

}  // namespace

TEST_F(EndToEnd, AnUnknownNameIsInvalidWhateverTheOptions) {
    const std::string tool = named("zkpapertoollpr_xxxx");
    const RunResult result = run_tool({tool, "-P", "TX", "-d", "x"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, tool + " is invalid.\n\n");
}

TEST_F(EndToEnd, NoArgumentWordsAtAllNameNoModel) {
    // The kernel may hand over an empty name instead of none; either way no model.
    const RunResult result = run_program(install("tape", "txm88"), {});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, " is invalid.\n\n");
}

TEST_F(EndToEnd, IncompleteCommandLinesShowTheUsageScreen) {
    const std::string tool = install("tape", "txe41b");
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"-P"},
        {"-P", "TX", "-n"},
        {"-P", "TX", "-n", "a", "-d", "a", "-w", "12", "-h", "50"},
        {"-P", "TX", "-n", "a", "-w", "12"},
        {"-n", "a", "-w", "12", "-h", "50"},
        {"-P", "TX", "-w", "12", "-h", "50"},
        {"-P", "TX", "-d", "a", "-w", "30"},
    };
    for (std::vector<std::string> words : bad) {
        words.insert(words.begin(), tool);
        const RunResult result = run_tool(words);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out.rfind(usage_start(), 0), 0u) << words.size();
        EXPECT_NE(result.out.find("zkpapertoollpr_txe41b -P TXE41b -d"), std::string::npos);
    }
    EXPECT_TRUE(paper_tool_calls(paper_tool("txe41b")).empty());
}

TEST_F(EndToEnd, AddThenDeleteLeavesTheDriverAsInstalled) {
    const std::string tool = install("tape", "txm88");
    const std::vector<std::string> installed = files("txm88");

    RunResult result = run_tool({tool, "-P", "TX-M88", "-n", "Small tag", "-w", "12", "-h", "50"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    const Calls calls = paper_tool_calls(paper_tool("txm88"));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], (std::vector<std::string>{paper_tool("txm88"), "-P", "TX-M88", "-d",
                                                  "Small tag", "-show", "1"}));
    ASSERT_EQ(calls[1].size(), 13u);
    const std::string id = calls[1][10];
    EXPECT_EQ(id.substr(0, 20), "ZkL_zkS12mm__090A032");
    const std::vector<std::string> added = files("txm88");
    EXPECT_NE(added[0].find("[CustomTape]\n" + id + "/Small tag\n"), std::string::npos);
    EXPECT_EQ(added[1], installed[1] + id + "/Small tag:\t70\t353\n");
    EXPECT_EQ(added[2], installed[2]);
    EXPECT_EQ(added[3], installed[3] + id + ":\t0.00\t0.00\t28.00\t141.52\n");

    result = run_tool({tool, "-P", "TX-M88", "-d", "Small tag"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(files("txm88"), installed);
}

TEST_F(EndToEnd, AddingAnExistingNameReplacesIt) {
    const std::string tool = install("roll", "lr260");
    ASSERT_EQ(run_tool({tool, "-P", "LR", "-n", "Shelf labels", "-w", "40", "-h", "30"}).status, 0);
    const std::string paper_info = files("lr260")[1];
    EXPECT_EQ(paper_info.find("Shelf labels:\t695\t1108\n"), std::string::npos);
    EXPECT_NE(paper_info.find("Shelf labels:\t436\t283\n"), std::string::npos);
    EXPECT_NE(files("lr260")[2].find("\nMediaSize=29X1\n"), std::string::npos);
}

TEST_F(EndToEnd, ValuesReachThePaperToolAsLiteralWords) {
    const std::string tool = install("tape", "tx12r");
    const std::vector<std::string> installed = files("tx12r");
    // Run from the tests' folder, any of these that ran would create "ran" there.
    unlink("ran");
    const std::string printer = "Q $(touch ran) `touch ran`; touch ran | & \"'";
    const std::vector<std::string> names = {
        "-d \"$(touch ran)\" `touch ran`;'",
        "a\"; touch ran; echo \"",
        "x' | touch ran & '",
        "-n",
        "  blanks  around  ",
        "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xE2\x82\xAC\xE2\x82\xAC"
        "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC",  // 32 bytes of UTF-8
    };
    for (const std::string& name : names) {
        ASSERT_LE(name.size(), 32u);
        unlink((paper_tool("tx12r") + ".log").c_str());
        EXPECT_EQ(run_tool({tool, "-P", printer, "-n", name, "-w", "9", "-h", "40"}).status, 0);
        const Calls calls = paper_tool_calls(paper_tool("tx12r"));
        ASSERT_EQ(calls.size(), 2u) << name;
        EXPECT_EQ(calls[1][2], printer);
        EXPECT_EQ(calls[1][4], name);
        EXPECT_NE(files("tx12r")[0].find("/" + name + "\n"), std::string::npos) << name;

        EXPECT_EQ(run_tool({tool, "-P", printer, "-d", name}), (RunResult{0, ""})) << name;
        EXPECT_EQ(files("tx12r"), installed) << name;
    }
    EXPECT_FALSE(exists("ran"));
}

TEST_F(EndToEnd, ParallelRunsLoseNoUpdateAndShowNoHalfWrittenFile) {
    const std::string tool = install("tape", "txe47n");
    const std::vector<std::string> installed = files("txe47n");
    const std::string paper_info = inf("txe47n") + "paperinftxe47n";
    constexpr int kRuns = 16;

    // Every state a reader may see: the installed file plus whole entry lines.
    std::atomic<bool> writing{true};
    std::atomic<int> reads{0}, torn{0};
    std::thread reader([&] {
        while (writing) {
            const std::string seen = read_file(paper_info);
            const bool whole = seen.rfind(installed[1], 0) == 0 && seen.back() == '\n';
            const std::string added = whole ? seen.substr(installed[1].size()) : "";
            std::istringstream lines(added);
            std::string line;
            bool entries = true;
            while (std::getline(lines, line)) entries &= line.find(":\t70\t") != std::string::npos;
            torn += !(whole && entries);
            ++reads;
        }
    });
    std::vector<Started> runs;
    for (int i = 0; i < kRuns; ++i) {
        runs.push_back(start_tool(
            {tool, "-P", "TX", "-n", "tag " + std::to_string(i), "-w", "12", "-h", "50"}));
    }
    for (const Started& started : runs) EXPECT_EQ(finish(started), (RunResult{0, ""}));
    writing = false;
    reader.join();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(torn, 0);

    const std::vector<std::string> added = files("txe47n");
    for (int i = 0; i < kRuns; ++i) {
        const std::string entry = "/tag " + std::to_string(i);
        for (int file : {0, 1}) {
            const std::size_t first = added[file].find(entry + (file ? ":" : "\n"));
            ASSERT_NE(first, std::string::npos) << entry;
            EXPECT_EQ(added[file].find(entry + (file ? ":" : "\n"), first + 1), std::string::npos);
        }
    }
    EXPECT_EQ(std::count(added[3].begin(), added[3].end(), '\n'),
              std::count(installed[3].begin(), installed[3].end(), '\n') + kRuns);

    runs.clear();
    for (int i = 0; i < kRuns; ++i)
        runs.push_back(start_tool({tool, "-P", "TX", "-d", "tag " + std::to_string(i)}));
    for (const Started& started : runs) EXPECT_EQ(finish(started), (RunResult{0, ""}));
    EXPECT_EQ(files("txe47n"), installed);
}

TEST_F(EndToEnd, ADeleteNamesTheCauseOfAFailedRewrite) {
    const std::string tool = install("tape", "txe40");
    const std::vector<std::string> installed = files("txe40");
    const std::vector<std::pair<std::string, std::string>> faults = {
        {"ZK_FAIL_FSYNC=28", "No space left on device\n"},
        {"ZK_FAIL_RENAME=30", "Read-only file system\n"},
    };
    for (const auto& [fault, message] : faults) {
        const RunResult result =
            run_tool({tool, "-P", "TX", "-d", "Shelf labels"},
                     {fault, std::string("LD_PRELOAD=") + FAIL_SHIM,
                      // A sanitizer runtime would insist on being preloaded first.
                      "ASAN_OPTIONS=verify_asan_link_order=0"});
        EXPECT_EQ(result, (RunResult{255, message}));
        EXPECT_EQ(files("txe40"), installed);
        EXPECT_EQ(list_folder(inf("txe40")).size(), 4u);
    }
}

TEST_F(EndToEnd, RefusesDriverFilesThatAreNotRegularFiles) {
    const std::string tool = install("roll", "lr380dt");
    const std::string elsewhere = bin_ / "elsewhere";
    const std::vector<std::string> names = {"zklr380dtfunc", "paperinflr380dt", "zklr380dtrc",
                                            "ImagingArea"};
    for (const std::string& name : names) {
        install("roll", "lr380dt");
        const std::string file = inf("lr380dt") + name;
        std::rename(file.c_str(), elsewhere.c_str());
        chmod(elsewhere.c_str(), 0600);
        symlink(elsewhere.c_str(), file.c_str());
        const std::string before = read_file(elsewhere);

        const RunResult result = run_tool({tool, "-P", "LR", "-d", "Shelf labels"});
        EXPECT_EQ(result, (RunResult{255, "Too many levels of symbolic links\n"})) << name;
        EXPECT_EQ(read_file(elsewhere), before);
        struct stat status;
        stat(elsewhere.c_str(), &status);
        EXPECT_EQ(status.st_mode & 07777, 0600u) << name;
    }
    install("roll", "lr380dt");
    const std::string imaging_area = inf("lr380dt") + "ImagingArea";
    unlink(imaging_area.c_str());
    mkfifo(imaging_area.c_str(), 0666);
    EXPECT_EQ(run_tool({tool, "-P", "LR", "-d", "Shelf labels"}),
              (RunResult{255, "Invalid argument\n"}));
}

TEST_F(EndToEnd, ReportsEachFailureAsTheDriverExpects) {
    const std::string tool = install("tape", "txk30");
    RunResult result = run_tool({tool, "-P", "TX", "-d", "Nothing"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Not found 'Nothing'\n");

    // A file error of the delete names its cause.
    unlink((inf("txk30") + "ImagingArea").c_str());
    result = run_tool({tool, "-P", "TX", "-d", "Shelf labels"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "No such file or directory\n");

    // The paper tool speaks for itself; its failure fails the run, the add's own too.
    write_file(paper_tool("txk30") + ".fail", "1");
    result = run_tool({tool, "-P", "TX", "-d", "x"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "");
    write_file(paper_tool("txk30") + ".fail", "1 -n");
    const std::vector<std::string> before = files("txk30");
    result = run_tool({tool, "-P", "TX", "-n", "x", "-w", "9", "-h", "40"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(files("txk30"), before);
    EXPECT_EQ(paper_tool_calls(paper_tool("txk30")).size(), 5u);
}
