#include "operations/Cautions.h"
#include "support/TestView.h"

#include <gtest/gtest.h>

using namespace kelvar;

TEST(Cautions, OncePerRunAndNeverAfterDoNotShowAgain) {
    std::array<bool, cCautions::Count> settings{true, true, true, true, true, true};
    test::TestView view;
    {
        cCautions cautions(settings);
        cautions.ShowCaution(1, view);
        cautions.ShowCaution(1, view);
        ASSERT_EQ(view.informationShown.size(), 1) << "once per run";
        cautions.ShowCaution(0, view); // a flag without a message
        cautions.ShowCaution(9, view);
        EXPECT_EQ(view.informationShown.size(), 1);
        view.doNotShowAgain = true;
        cautions.ShowCaution(2, view);
        EXPECT_EQ(view.informationShown.size(), 2);
        EXPECT_FALSE(settings[2]);
        EXPECT_TRUE(settings[1]);
    }
    cCautions nextRun(settings);
    nextRun.ShowCaution(2, view);
    EXPECT_EQ(view.informationShown.size(), 2) << "turned off for good";
    nextRun.RestoreAll();
    nextRun.ShowCaution(2, view);
    EXPECT_EQ(view.informationShown.size(), 3);
}
