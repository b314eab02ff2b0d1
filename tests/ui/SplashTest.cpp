#include "ui/AsciiSplash.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

class SplashTest : public ::testing::Test {
protected:
    AsciiSplash splash;

    QLabel* Label(const char* name) const { return splash.findChild<QLabel*>(QLatin1String(name)); }
    QProgressBar* Bar() const { return splash.findChild<QProgressBar*>("ProgressBar1"); }
};

TEST_F(SplashTest, IsAFramelessWindowWithItsTexts) {
    EXPECT_EQ(splash.objectName(), "AsciiSplash");
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(splash.isWindow());
    ASSERT_NE(Label("lblProductName"), nullptr);
    EXPECT_EQ(Label("lblProductName")->text(),
              QString::fromUtf8("Kelvar Actimar\u2122 Configuration Program"));
    EXPECT_EQ(Label("lblPleaseWait")->text(), "Please wait....");
    EXPECT_EQ(Label("lblStatus")->text(), "Initializing........");
    EXPECT_EQ(Label("lblVersion")->text(), "Version " KELVAR_VERSION);
    // The maker's name and its shadow copy.
    EXPECT_EQ(Label("lblCompany")->text(), Label("lblCompanyShadow")->text());
    EXPECT_EQ(Label("lblCompany")->font(), Label("lblCompanyShadow")->font());
}

TEST_F(SplashTest, StatusTakesCrLfLineBreaks) {
    splash.SetStatus("Searching for\r\nComm Ports...");
    EXPECT_EQ(Label("lblStatus")->text(), "Searching for\nComm Ports...");
    splash.SetStatus("Searching for Comm Ports...");
    EXPECT_EQ(Label("lblStatus")->text(), "Searching for Comm Ports...");
}

TEST_F(SplashTest, ProgressBarIsShownOnlyWhenAsked) {
    ASSERT_NE(Bar(), nullptr);
    EXPECT_TRUE(Bar()->isHidden());
    splash.SetProgressRange(0, 16);
    splash.SetProgress(5);
    splash.SetProgressShown(true);
    EXPECT_FALSE(Bar()->isHidden());
    EXPECT_EQ(Bar()->maximum(), 16);
    EXPECT_EQ(Bar()->value(), 5);
    splash.SetProgressShown(false);
    EXPECT_TRUE(Bar()->isHidden());
}

TEST_F(SplashTest, AClickClosesIt) {
    splash.show();
    ASSERT_TRUE(splash.isVisible());
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), splash.mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&splash, &click);
    EXPECT_FALSE(splash.isVisible());
}

} // namespace
