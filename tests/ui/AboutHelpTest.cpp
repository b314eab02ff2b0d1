// The about box, and the Help menu of the program's window.
#include "shell/Registry.h"
#include "support/EnvVar.h"
#include "support/FakeBrowser.h"
#include "support/ScriptedPrompter.h"
#include "ui/Application.h"
#include "ui/AsciiAbout.h"
#include "ui/AsciiSensor.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kelvar;
using test::ScriptedPrompter;

namespace {

TEST(AboutBox, ShowsTheProgramAndTellsWhenThereIsNoSystemInformationTool) {
    ScriptedPrompter prompter{MessageAnswer::Ok};
    AsciiAbout about(prompter, nullptr, [](const QString&) { return QString(); });
    EXPECT_EQ(about.windowTitle(), "About Kelvar Setup Software v8.1.0");
    const auto text = [&about](const char* name) {
        const auto* label = about.findChild<QLabel*>(QLatin1String(name));
        return label == nullptr ? QStringLiteral("(none)") : label->text();
    };
    EXPECT_EQ(text("lblTitle"), "Kelvar Setup Software v8.1.0");
    EXPECT_EQ(text("lblVersion"), "Version VIII.I.");
    EXPECT_EQ(text("lblDescription"),
              QString::fromUtf8("Kelvar Actimar\u2122 Configuration Program"));
    EXPECT_TRUE(text("lblDisclaimer").contains("without warranty"));
    EXPECT_EQ(text("lblCompany"), "Morvane");
    EXPECT_EQ(text("lblCompanyShadow"), "Morvane");

    auto* sysInfo = about.findChild<QPushButton*>("cmdSysInfo");
    ASSERT_NE(sysInfo, nullptr);
    EXPECT_EQ(sysInfo->text(), "&System Info...");
    about.show();
    sysInfo->click();
    ASSERT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.asked[0].text, "System Information Is Unavailable At This Time");
    EXPECT_TRUE(about.isVisible());
    about.findChild<QPushButton*>("cmdOK")->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

class HelpMenuTest : public ::testing::Test {
protected:
    HelpMenuTest() {
        program.Window().SetPrompter(&prompter);
        // Neither beside the program nor in a source tree: only the page
        // that KELVAR_HELP names can be found.
        program.Help() = cHelp(program.Window(), browser,
                               HelpPagePlaces(dir.filePath("bin"), dir.filePath("missing.html")));
    }
    void Choose(const char* item) {
        program.Window().Control<QAction>(QLatin1String(item))->trigger();
    }

    QTemporaryDir dir;
    test::EnvVar named{"KELVAR_HELP", dir.filePath("guide.html").toLocal8Bit()};
    ScriptedPrompter prompter;
    test::FakeBrowser browser;
    cRegistry registry{dir.filePath("settings.ini")};
    cApplication program{cAppOptions{{}, true, {}}, registry};
};

// The messages of a missing guide or browser are the help logic's own tests;
// here the menu items reach it.
TEST_F(HelpMenuTest, TheGuideAndTheHomePageOpenInTheBrowser) {
    QFile page(dir.filePath("guide.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    Choose("mnuHelpContents");
    Choose("mnuHomePage");
    EXPECT_EQ(browser.opened, QList<QUrl>({QUrl::fromLocalFile(dir.filePath("guide.html")),
                                           QUrl("https://www.morvane.com/")}));
    EXPECT_TRUE(prompter.asked.isEmpty());
}

TEST_F(HelpMenuTest, AboutOpensModallyOverTheWindow) {
    Choose("mnuAbout");
    auto* about = program.Window().findChild<AsciiAbout*>();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_TRUE(about->isModal());
    EXPECT_EQ(about->windowTitle(), "About Kelvar Setup Software v8.1.0");
    about->findChild<QPushButton*>("cmdOK")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(program.Window().findChild<AsciiAbout*>(), nullptr);
}

} // namespace
