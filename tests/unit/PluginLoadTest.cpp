#include "tests/support/ToolFixture.h"

#include <gtest/gtest.h>

TEST(PluginLoad, RegistersOneRecordAndUnloadRemovesIt) {
    {
        minihost::Plugin plugin(UMBRIX_PLUGIN_PATH);
        EXPECT_NE(minihost::findClass("Vennolar.Umbrix"), nullptr);
    }
    EXPECT_EQ(minihost::findClass("Vennolar.Umbrix"), nullptr);
}
