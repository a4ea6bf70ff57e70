// Runs the built tool, under the names it is installed as, against sample driver trees
// in the sandbox build's driver root.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
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

std::string usage_start() { return std::string(27, '=') + "\n LPRng Paper Size Tool (v 0.2)\t"; }

}  // namespace

TEST_F(EndToEnd, AnUnknownNameIsInvalidWhateverTheOptions) {
    const std::string tool = named("zkpapertoollpr_xxxx");
    const RunResult result = run({tool, "-P", "TX", "-d", "x"});
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
        const RunResult result = run(words);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out.rfind(usage_start(), 0), 0u) << words.size();
        EXPECT_NE(result.out.find("zkpapertoollpr_txe41b -P TXE41b -d"), std::string::npos);
    }
    EXPECT_TRUE(paper_tool_calls(paper_tool("txe41b")).empty());
}

TEST_F(EndToEnd, AddThenDeleteLeavesTheDriverAsInstalled) {
    const std::string tool = install("tape", "txm88");
    const std::vector<std::string> installed = files("txm88");

    RunResult result = run({tool, "-P", "TX-M88", "-n", "Small tag", "-w", "12", "-h", "50"});
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

    result = run({tool, "-P", "TX-M88", "-d", "Small tag"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(files("txm88"), installed);
}

TEST_F(EndToEnd, AddingAnExistingNameReplacesIt) {
    const std::string tool = install("roll", "lr260");
    ASSERT_EQ(run({tool, "-P", "LR", "-n", "Shelf labels", "-w", "40", "-h", "30"}).status, 0);
    const std::string paper_info = files("lr260")[1];
    EXPECT_EQ(paper_info.find("Shelf labels:\t695\t1108\n"), std::string::npos);
    EXPECT_NE(paper_info.find("Shelf labels:\t436\t283\n"), std::string::npos);
    EXPECT_NE(files("lr260")[2].find("\nMediaSize=29X1\n"), std::string::npos);
}

TEST_F(EndToEnd, ValuesReachThePaperToolAsLiteralWords) {
    const std::string tool = install("tape", "tx12r");
    // Run from the tests' folder, any of these would create "ran" there.
    const std::string canary = "ran";
    unlink(canary.c_str());
    const std::string printer = "Q $(touch ran) `touch ran`; touch ran | & \"'";
    const std::string name = "-d \"$(touch ran)\" `touch ran`;'";
    ASSERT_LE(name.size(), 32u);
    const std::vector<std::string> installed = files("tx12r");

    EXPECT_EQ(run({tool, "-P", printer, "-n", name, "-w", "9", "-h", "40"}).status, 0);
    const Calls calls = paper_tool_calls(paper_tool("tx12r"));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1][2], printer);
    EXPECT_EQ(calls[1][4], name);
    EXPECT_FALSE(exists(canary));

    EXPECT_EQ(run({tool, "-P", printer, "-d", name}).status, 0);
    EXPECT_EQ(files("tx12r"), installed);
}

TEST_F(EndToEnd, ReportsEachFailureAsTheDriverExpects) {
    const std::string tool = install("tape", "txk30");
    RunResult result = run({tool, "-P", "TX", "-d", "Nothing"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Not found 'Nothing'\n");

    // A file error of the delete names its cause.
    unlink((inf("txk30") + "ImagingArea").c_str());
    result = run({tool, "-P", "TX", "-d", "Shelf labels"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "No such file or directory\n");

    // The paper tool speaks for itself; its failure fails the run, the add's own too.
    write_file(paper_tool("txk30") + ".fail", "1");
    result = run({tool, "-P", "TX", "-d", "x"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "");
    write_file(paper_tool("txk30") + ".fail", "1 -n");
    const std::vector<std::string> before = files("txk30");
    result = run({tool, "-P", "TX", "-n", "x", "-w", "9", "-h", "40"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(files("txk30"), before);
    EXPECT_EQ(paper_tool_calls(paper_tool("txk30")).size(), 5u);
}
