#include "cli/usage.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::string usage_for(const char* model_dir) {
    FormatRequest request;
    request.model_dir = model_dir;
    return usage_text(request);
}

}  // namespace

TEST(Usage, ShowsTheTapeModelsCommandAndPrinterName) {
    const std::vector<std::string> lines = lines_of(usage_for("txm88"));
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0], std::string(27, '='));
    EXPECT_EQ(lines[1].rfind(" LPRng Paper Size Tool (v 0.2)\t", 0), 0u);
    EXPECT_EQ(lines[2],
              " Usage: zkpapertoollpr_xxxx -P Printer Name [-n add a Lable Format Name (<=32 "
              "bytes) -w Media Width(unit:mm) -h Media Height(unit:mm)]/[-d delete Lable Format "
              "Name]");
    EXPECT_EQ(lines[3],
              " **Label width is  3.5mm,6mm,9mm,12mm,18mm,24mm,36mm and Height is between 4mm "
              "and 1000mm(HS tape max is 500mm)");
    EXPECT_EQ(lines[4], " For example:");
    EXPECT_EQ(lines[5],
              " 1. Add a new Label Format with \"New Label Format\" name and 12mm width and 50mm "
              "length:");
    EXPECT_EQ(lines[6],
              "\t\"zkpapertoollpr_txm88 -P TX-M88 -n New\\ Label Namw (\"HS\" contain name means "
              "heat srink tube ex.HS12mmx50mm)\\ Format -w 12 -h 50\" [enter]");
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(lines[8], " 2. Remove the Label Format with \"New Label Format\" name:");
    EXPECT_EQ(lines[9], "\t\"zkpapertoollpr_txm88 -P TX-M88 -d New\\ Label\\ Format\" [enter]");
    EXPECT_EQ(lines[10], "");
    EXPECT_EQ(lines[11], std::string(27, '='));
}

TEST(Usage, UsesTheDirectoryNameNotTheKey) {
    const std::string text = usage_for("tx5200nw");
    EXPECT_NE(text.find("\"zkpapertoollpr_tx5200nw -P TX-5200NW -d New"), std::string::npos);
}

TEST(Usage, LeavesTheRollLabelPrinterNameEmpty) {
    const std::vector<std::string> lines = lines_of(usage_for("lr210"));
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[9], "\t\"zkpapertoollpr_lr210 -P  -d New\\ Label\\ Format\" [enter]");
}
