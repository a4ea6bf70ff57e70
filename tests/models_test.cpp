#include "cli/models.h"

#include <gtest/gtest.h>

#include <string>

TEST(IdentifyModel, FindsTheKeyAnywhereInAFullPath) {
    const ModelEntry* model = identify_model("/usr/local/bin/zkpapertoollpr_txe41b");
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->model_class, 3);
    EXPECT_STREQ(model->directory, "txe41b");
}

TEST(IdentifyModel, FirstKeyInTableOrderWinsEvenInTheFolderPart) {
    // lr260 stands before txm88 in the table, so the folder decides here.
    const ModelEntry* model = identify_model("/opt/lr260/zkpapertoollpr_txm88");
    ASSERT_NE(model, nullptr);
    EXPECT_STREQ(model->directory, "lr260");
    EXPECT_EQ(model->model_class, 1);
}

TEST(IdentifyModel, UsesTheDirectoryNameWhereItDiffersFromTheKey) {
    const ModelEntry* model = identify_model("zkpapertoollpr_tx5200");
    ASSERT_NE(model, nullptr);
    EXPECT_STREQ(model->directory, "tx5200nw");
    EXPECT_STREQ(model->display, "TX-5200NW");
}

TEST(IdentifyModel, TellsCloseKeysApart) {
    EXPECT_STREQ(identify_model("zkpapertoollpr_txe40")->directory, "txe40");
    EXPECT_STREQ(identify_model("zkpapertoollpr_txm80")->directory, "txm80");
    EXPECT_STREQ(identify_model("zkpapertoollpr_lr380dt")->directory, "lr380dt");
}

TEST(IdentifyModel, RecognisesNoModelInTheGenericName) {
    EXPECT_EQ(identify_model("zkpapertoollpr_xxxx"), nullptr);
    EXPECT_EQ(identify_model(""), nullptr);
    EXPECT_EQ(identify_model("TXM88"), nullptr);  // keys are case-sensitive
}

TEST(DisplayName, IsEmptyForRollLabelModels) {
    EXPECT_STREQ(display_name("txm88"), "TX-M88");
    EXPECT_STREQ(display_name("lr210"), "");
    EXPECT_STREQ(display_name("tx5200"), "");  // a key, not a directory name
}
