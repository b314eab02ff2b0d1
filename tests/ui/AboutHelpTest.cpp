// The about box, and the Help menu of the program's window.
#include "RunningProgram.h"
#include "shell/Maker.h"
#include "support/EnvVar.h"
#include "support/FakeBrowser.h"
#include "ui/AsciiAbout.h"

#include <QAction>
#include <QPushButton>

using namespace kelvar;
using test::ApplicationTest;
using test::ScriptedPrompter;

TEST(AboutBox, TellsWhenThereIsNoSystemInformationTool) {
    ScriptedPrompter prompter{MessageAnswer::Ok};
    AsciiAbout about(prompter, nullptr, [](const QString&) { return QString(); });
    about.findChild<QPushButton*>("cmdSysInfo")->click();
    EXPECT_EQ(prompter.asked.size(), 1);
}

// The messages of a missing guide or browser are the help logic's own tests;
// here the menu items reach it.
TEST_F(ApplicationTest, HelpMenuOpensTheGuideInTheBrowserAndAboutModally) {
    const test::EnvVar named{"KELVAR_HELP", dir.filePath("guide.html").toLocal8Bit()};
    test::FakeBrowser browser;
    cApplication program(options, registry);
    AsciiSensor& window = program.Window();
    window.SetPrompter(&prompter);
    // Neither beside the program nor in a source tree: only the page that
    // KELVAR_HELP names can be found.
    program.Help() =
        cHelp(window, browser, HelpPagePlaces(dir.filePath("bin"), dir.filePath("missing.html")));
    QFile page(dir.filePath("guide.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    window.Control<QAction>("mnuHelpContents")->trigger();
    EXPECT_EQ(browser.opened, QList<QUrl>({QUrl::fromLocalFile(dir.filePath("guide.html"))}));
    // An item for the maker's home page only when the build names one.
    EXPECT_EQ(window.findChild<QAction*>("mnuHomePage") != nullptr, MakerHomePage[0] != '\0');

    window.Control<QAction>("mnuAbout")->trigger();
    auto* about = window.findChild<AsciiAbout*>();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_TRUE(about->isModal());
    about->findChild<QPushButton*>("cmdOK")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.findChild<AsciiAbout*>(), nullptr);
}
