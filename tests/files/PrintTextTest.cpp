// Laying out printed text: tab padding, line wrapping and page breaks.
#include "files/PrintText.h"
#include "support/PageRecorder.h"

#include <gtest/gtest.h>

using namespace kelvar;

// Tab padding and wrapping at column 74 are part of the golden reports and log.
TEST(PrintText, ValuesLineUpAndNothingIsLostAtTheEnds) {
    EXPECT_EQ(ExpandTabs(Tabs(2) + TabPad("Model") + "AM-1000"),
              QString(16, u' ') + "Model" + QString(27, u' ') + "AM-1000")
        << "after a two-tab indent every value starts at column 48";
    EXPECT_EQ(PrintLines(QStringLiteral("a\r\n\r\nnext")), QStringList({"a", "", "next"}))
        << "the text without a final CR ends with its remainder";
    const QString longWord(90, u'w');
    EXPECT_EQ(PrintLines(longWord).join(QString()), longWord) << "a long word is not lost";
}

TEST(PrintText, PagesBreakWhenTheyAreFull) {
    QString text;
    for (int i = 0; i < 25; ++i) {
        text += QStringLiteral("line %1\r\n").arg(i);
    }
    test::PageRecorder printer(10);
    PrintControl(text, printer);
    ASSERT_EQ(printer.pages.size(), 3);
    EXPECT_EQ(printer.pages[0].size(), 10);
    EXPECT_EQ(printer.pages[2].last(), "line 24");
}
