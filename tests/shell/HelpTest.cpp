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
}

TEST(SystemInfo, TheFirstToolFoundStartsElseTheUserIsTold) {
    const auto knows = [](const QStringList& known) {
        return [known](const QString& name) {
            return known.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
        };
    };
    EXPECT_EQ(FirstProgram(SystemInfoTools, knows({"lshw-gtk", "hardinfo"})), "/usr/bin/hardinfo");

    const QString harmless = QStandardPaths::findExecutable("true");
    ASSERT_FALSE(harmless.isEmpty());
    ScriptedPrompter started;
    ShowSystemInfo(
        started, [&](const QString& name) { return name == "kinfocenter" ? harmless : QString(); });
    EXPECT_TRUE(started.asked.isEmpty());

    // No tool at all is the about box's test; here one is found but does not start.
    ScriptedPrompter told{MessageAnswer::Ok};
    ShowSystemInfo(told, [](const QString&) { return QString("/no/such/tool"); });
    EXPECT_EQ(told.asked.size(), 1);
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

// That they reach the browser is the Help menu's test; here what the user is told when not.
TEST_F(HelpTest, TheUserIsToldWhenTheBrowserIsMissingOrDoesNotOpen) {
    Touch(Installed());
    browser.opens = false;
    // Each names where the page is, so that it can be opened another way.
    const QString guide = "\r\n\r\nThe user guide is " + QDir::toNativeSeparators(Installed());
    for (const auto& [found, show, title, text] :
         {std::tuple{true, &cHelp::ShowContents, "Help Not Available", "Help File Error" + guide},
          {false, &cHelp::ShowContents, "Browser Not Found",
           "Could not find associated Browser" + guide}}) {
        browser.found = found;
        browser.opened.clear();
        ScriptedPrompter prompter{MessageAnswer::Ok};
        cHelp help(prompter, browser, Places());
        (help.*show)();
        ExpectAsked(prompter, title, text);
        EXPECT_EQ(browser.opened.isEmpty(), !found);
    }
}

} // namespace
