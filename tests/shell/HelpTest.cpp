// The about box's numerals, the system information tool, and where the
// Help menu finds its pages and what it says when it cannot show them.
#include "shell/Help.h"
#include "support/EnvVar.h"
#include "support/FakeBrowser.h"
#include "support/ScriptedPrompter.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

using namespace kelvar;
using test::EnvVar;
using test::FakeBrowser;
using test::ScriptedPrompter;

namespace {

void Touch(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

void ExpectAsked(const ScriptedPrompter& prompter, const QString& title, const QString& text) {
    ASSERT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.asked[0].title, title);
    EXPECT_EQ(prompter.asked[0].text, text);
    EXPECT_EQ(prompter.asked[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(prompter.asked[0].buttons, MessageButtons::Ok);
}

TEST(RomanNumerals, EachDecadeTakesTheNextPairOfLetters) {
    QStringList numerals;
    for (const int number : {8, 14, 49, 1994, 3999, 0, 4000, -5}) {
        numerals << RomanNumeral(number);
    }
    EXPECT_EQ(numerals.join('|'), "VIII|XIV|XLIX|MCMXCIV|MMMCMXCIX|||");
    // A revision 0 leaves an empty numeral after the last point.
    EXPECT_EQ(RomanVersionText("8.1.0"), "Version VIII.I.");
    EXPECT_EQ(RomanVersionText("8.1.1"), "Version VIII.I.I");
    EXPECT_EQ(RomanVersionText("12.x.4"), "Version XII..IV");
}

TEST(SystemInfo, TheFirstToolFoundStartsElseTheUserIsTold) {
    const auto knows = [](const QStringList& known) {
        return [known](const QString& name) {
            return known.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
        };
    };
    EXPECT_EQ(FirstProgram(SystemInfoTools, knows({"lshw-gtk", "hardinfo"})), "/usr/bin/hardinfo");
    EXPECT_EQ(FirstProgram(SystemInfoTools, knows({})), "");

    const QString harmless = QStandardPaths::findExecutable("true");
    ASSERT_FALSE(harmless.isEmpty());
    ScriptedPrompter started;
    ShowSystemInfo(
        started, [&](const QString& name) { return name == "kinfocenter" ? harmless : QString(); });
    EXPECT_TRUE(started.asked.isEmpty());

    const ProgramLookup broken = [](const QString&) {
        return QString("/no/such/tool");
    };
    for (const ProgramLookup& lookup : {ProgramLookup(knows({})), broken}) {
        ScriptedPrompter told{MessageAnswer::Ok};
        ShowSystemInfo(told, lookup);
        ASSERT_EQ(told.asked.size(), 1);
        EXPECT_EQ(told.asked[0].text, "System Information Is Unavailable At This Time");
        EXPECT_EQ(told.asked[0].buttons, MessageButtons::Ok);
    }
}

class HelpTest : public ::testing::Test {
protected:
    QString Named() const { return dir.filePath("named/guide.html"); }
    QString Installed() const { return dir.filePath("share/doc/kelvar-setup/kelvar-setup.html"); }
    QString InSource() const { return dir.filePath("source/kelvar-setup.html"); }
    QStringList Places() const { return HelpPagePlaces(dir.filePath("bin"), InSource()); }

    QTemporaryDir dir;
    EnvVar named{"KELVAR_HELP", Named().toLocal8Bit()};
    FakeBrowser browser;
};

TEST_F(HelpTest, TheGuideIsTheFirstPlaceThatHoldsAFileAndWithoutOneTheUserIsTold) {
    EXPECT_EQ(Places(), QStringList({Named(), Installed(), InSource()}));
    {
        EnvVar unset("KELVAR_HELP", {});
        EXPECT_EQ(Places(), QStringList({Installed(), InSource()}));
    }
    ScriptedPrompter prompter{MessageAnswer::Ok};
    cHelp help(prompter, browser, Places());
    EXPECT_EQ(help.HelpPage(), "");
    help.ShowContents();
    ExpectAsked(prompter, "Help File Error", "Help File Not Avalable");
    EXPECT_TRUE(browser.opened.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty()) << "nothing is left behind";
    ASSERT_TRUE(QDir().mkpath(Named())); // a folder is no page
    Touch(InSource());
    EXPECT_EQ(help.HelpPage(), InSource());
    Touch(Installed());
    EXPECT_EQ(help.HelpPage(), Installed());
    ASSERT_TRUE(QDir(Named()).removeRecursively());
    Touch(Named());
    EXPECT_EQ(help.HelpPage(), Named());
}

TEST_F(HelpTest, TheGuideAndTheHomePageGoToTheBrowser) {
    Touch(Installed());
    {
        ScriptedPrompter prompter;
        cHelp help(prompter, browser, Places());
        help.ShowContents();
        help.ShowHomePage();
        EXPECT_EQ(browser.opened, QList<QUrl>({QUrl::fromLocalFile(Installed()),
                                               QUrl("https://www.morvane.com/")}));
    }
    browser.opens = false;
    for (const auto& [show, title, text] :
         {std::tuple{&cHelp::ShowContents, "Help Not Available", "Help File Error"},
          {&cHelp::ShowHomePage, "URL Failed", "Web Page not Opened"}}) {
        ScriptedPrompter prompter{MessageAnswer::Ok};
        cHelp help(prompter, browser, Places());
        (help.*show)();
        ExpectAsked(prompter, title, text);
    }
    browser.found = false;
    browser.opened.clear();
    for (const auto show : {&cHelp::ShowContents, &cHelp::ShowHomePage}) {
        ScriptedPrompter prompter{MessageAnswer::Ok};
        cHelp help(prompter, browser, Places());
        (help.*show)();
        ExpectAsked(prompter, "Browser Not Found", "Could not find associated Browser");
    }
    EXPECT_TRUE(browser.opened.isEmpty());
}

} // namespace
