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

TEST(IdentifyModel, RecognisesNoModelInTheGenericName) {
    EXPECT_EQ(identify_model("zkpapertoollpr_xxxx"), nullptr);
    EXPECT_EQ(identify_model(""), nullptr);
    EXPECT_EQ(identify_model("TXM88"), nullptr);  // keys are case-sensitive
}
