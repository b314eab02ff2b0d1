// Laying out printed text: tab padding, line wrapping and page breaks.
#include "files/PrintText.h"

#include <gtest/gtest.h>

using namespace kelvar;

namespace {

// Pages of lines as a printer would get them.
class PageRecorder : public cPrintSurface {
public:
    explicit PageRecorder(int perPage) : perPage_(perPage) {}
    int LinesPerPage() const override { return perPage_; }
    void NewPage() override { pages.append(QStringList()); }
    void DrawLine(int row, const QString& text) override {
        EXPECT_EQ(row, pages.last().size()) << "rows go down the page one by one";
        pages.last().append(text);
    }
    QList<QStringList> pages{QStringList()};

private:
    int perPage_;
};

} // namespace

TEST(PrintText, TabPadReachesTheNextStop) {
    for (const auto& [length, tabs] :
         {std::pair{7, 4}, {8, 3}, {15, 3}, {16, 2}, {23, 2}, {24, 1}, {40, 1}}) {
        const QString label(length, u'x');
        EXPECT_EQ(TabPad(QStringLiteral("  ") + label + QStringLiteral(" ")), label + Tabs(tabs))
            << length;
    }
    EXPECT_EQ(ExpandTabs(Tabs(2) + TabPad("Model") + "AM-1000"),
              QString(16, u' ') + "Model" + QString(27, u' ') + "AM-1000")
        << "after a two-tab indent every value starts at column 48";
}

TEST(PrintText, LongLinesBreakBeforeTheWordInProgress) {
    QString words;
    while (words.size() < 100) {
        words += QStringLiteral("word%1 ").arg(words.size() % 10);
    }
    const QStringList lines = PrintLines(words + QStringLiteral("\r\nnext"));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_LE(lines[0].size(), PrintColumns);
    EXPECT_TRUE(lines[0].endsWith(u' ')) << "broken at a blank, never inside a word";
    EXPECT_EQ(lines[0] + lines[1], words);
    EXPECT_EQ(lines[2], "next") << "the text without a final CR ends with its remainder";
    EXPECT_EQ(PrintLines(QStringLiteral("a\r\n\r\nb")), QStringList({"a", "", "b"}));
    const QString longWord(90, u'w');
    EXPECT_EQ(PrintLines(longWord).join(QString()), longWord) << "a long word is not lost";
}

TEST(PrintText, PagesBreakWhenTheyAreFull) {
    QString text;
    for (int i = 0; i < 25; ++i) {
        text += QStringLiteral("line %1\r\n").arg(i);
    }
    PageRecorder printer(10);
    PrintControl(text, printer);
    ASSERT_EQ(printer.pages.size(), 3);
    EXPECT_EQ(printer.pages[0].size(), 10);
    EXPECT_EQ(printer.pages[2].last(), "line 24");
}
