#include "ui/AsciiSplash.h"

#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace kelvar;

TEST(Splash, ShowsTheVersionStatusAndProgressAndAClickClosesIt) {
    AsciiSplash splash;
    splash.SetStatus("Searching for\r\nComm Ports...");
    EXPECT_EQ(splash.findChild<QLabel*>("lblStatus")->text(), "Searching for\nComm Ports...");

    auto* bar = splash.findChild<QProgressBar*>("ProgressBar1");
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isHidden());
    splash.SetProgressShown(true);
    EXPECT_FALSE(bar->isHidden());

    splash.show();
    QTest::mouseClick(&splash, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(splash.isVisible());
}
