// The Log tab in the window: the Logging menu's states and a bounded view.
#include "RunningProgram.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QTabWidget>

using namespace kelvar;
using test::RunningProgramTest;

TEST_F(RunningProgramTest, LogMenuStatesAndABoundedViewOfAWholeRecord) {
    auto* enabled = window.Control<QAction>("mnuLogEnabled");
    auto* tabs = window.Control<QTabWidget>("SSTab1");
    // A first start: logging off, its options and the Log tab disabled.
    EXPECT_FALSE(window.Control<QAction>("mnuCommunications")->isEnabled());
    EXPECT_FALSE(tabs->isTabEnabled(Tab::Log));

    enabled->trigger();
    EXPECT_EQ(enabled->text(), "Click to Disable");
    EXPECT_TRUE(tabs->isTabEnabled(Tab::Log));
    prompter.Script(MessageAnswer::Yes);
    window.Control<QAction>("mnuCommunications")->trigger();
    EXPECT_TRUE(window.Control<QAction>("mnuCommunications")->isChecked());

    // More lines than the view keeps arrive in one batch, then one short line:
    // the view shows the newest, the log keeps every line.
    const int lines = cApplication::LogViewLines + 1000;
    for (int i = 0; i < lines; ++i) {
        emit session.link.transactionEnded(QByteArray::number(i), "aA",
                                           cSensorLink::Outcome::Answered, 0);
    }
    session.log.FlushTraffic();
    session.log.AppendLog(QString());
    auto* view = window.Control<QPlainTextEdit>("rtbLog");
    EXPECT_LE(view->blockCount(), cApplication::LogViewLines + 1);
    const QStringList shown = view->toPlainText().split(u'\n');
    ASSERT_GE(shown.size(), 3);
    EXPECT_TRUE(shown.at(shown.size() - 3).contains(QStringLiteral(" ms  %1  aA").arg(lines - 1)))
        << shown.at(shown.size() - 3).toStdString();
    EXPECT_EQ(session.log.Text().count(QStringLiteral("  answered\r\n")), lines);
}
