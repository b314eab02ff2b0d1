#include "files/DataFile.h"
#include "model/SensorData.h"
#include "support/Golden.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <future>
#include <gtest/gtest.h>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace kelvar;
using Data = clsSensorData;

namespace {

const QString Corrupted =
    QStringLiteral("File is not a valid data file\r\nor the data is corrupted.\r\n");
constexpr std::int32_t Untouched = 424242;

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// The file's lines; every line must end in CR LF.
QList<QByteArray> Lines(const QString& path) {
    QList<QByteArray> lines = test::FileText(path).toLatin1().split('\n');
    EXPECT_TRUE(lines.takeLast().isEmpty()) << "the last line has no line end";
    for (QByteArray& line : lines) {
        EXPECT_TRUE(line.endsWith('\r'));
        line.chop(1);
    }
    return lines;
}

void WriteLines(const QString& path, const QList<QByteArray>& lines) {
    WriteBytes(path, lines.isEmpty() ? QByteArray() : lines.join("\r\n") + "\r\n");
}

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        InitParameterTable(target);
        for (int row = 0; row < Data::Rows; ++row) {
            target.WriteParameterData(row, Data::SensorDataColumn, 2000 + row);
            target.WriteParameterData(row, Data::ChangedDataColumn, Untouched);
            target.WriteParameterData(row, Data::MinColumn, -row);
            for (int column = 0; column < Data::Columns; ++column) {
                target.WriteSetpointData(
                    row, column, column < Data::EditedTargetColumn ? 3000 + row : Untouched);
            }
        }
        target.setSerialNumber(QStringLiteral("00099999"));
        target.setDataIsLoaded(true);
    }

    QString Path() const { return dir.filePath(QStringLiteral("sensor.dat")); }

    // The file written by hand (every value line differs), copied to Path(); its lines.
    QList<QByteArray> SavedLines() {
        const QList<QByteArray> lines = Lines(test::GoldenPath(QStringLiteral("handwritten.dat")));
        WriteLines(Path(), lines);
        return lines;
    }

    // Writes `lines` with line `number` (from 1) replaced.
    void WriteReplaced(QList<QByteArray> lines, int number, const QByteArray& text) {
        lines[number - 1] = text;
        WriteLines(Path(), lines);
    }

    // Reads the file, which must be accepted.
    DataFileContents Accepted() {
        QString error;
        std::optional<DataFileContents> contents = ReadSensorDataFile(Path(), target, &error);
        EXPECT_TRUE(contents) << error.toStdString();
        return contents.value_or(DataFileContents{});
    }

    // The reason a file that must be refused is refused (target is never changed).
    QString Refusal() {
        QString error;
        EXPECT_FALSE(ReadSensorDataFile(Path(), target, &error));
        return error;
    }

    // The refusal of a value line that is not a whole number.
    static QString NotAWholeNumber(int line, const QString& expected, const QByteArray& found) {
        return Corrupted +
               QStringLiteral("Line %1: expected %2, a whole number from -2147483648 to "
                              "2147483647, found \"%3\".")
                   .arg(line)
                   .arg(expected, QString::fromLatin1(found));
    }

    static std::int32_t Edited(const Data& data, int row) {
        return data.ReadParameterData(row, Data::ChangedDataColumn);
    }

    // What a loaded record holds of a file: the file it saves.
    QString Saved(const Data& record) {
        const QString path = dir.filePath(QStringLiteral("saved.dat"));
        QString error;
        EXPECT_TRUE(SaveSensorDataFile(path, record, &error)) << error.toStdString();
        return test::FileText(path);
    }

    QTemporaryDir dir;
    Data target;
};

// ---------------------------------------------------------------- format

TEST_F(DataFileTest, AFileWrittenByHandLoadsLineByLineAndSavesAsItWas) {
    const QList<QByteArray> lines = SavedLines();
    DataFileContents read = Accepted();
    for (int row = 1; row <= 75; ++row) {
        EXPECT_EQ(Edited(read.record, row), lines[row + 2].toInt()) << "parameter " << row;
    }
    for (int setpoint = 0; setpoint <= 59; ++setpoint) {
        for (int field = 0; field < 3; ++field) {
            EXPECT_EQ(read.record.ReadSetpointData(setpoint, Data::EditedTargetColumn + field),
                      lines[81 + 3 * setpoint + field].toInt())
                << "setpoint " << setpoint << ", field " << field;
        }
    }
    QString error;
    ASSERT_TRUE(SaveSensorDataFile(Path(), read.record, &error)) << error.toStdString();
    EXPECT_TRUE(
        test::SameText(test::FileText(Path()), QString::fromLatin1(lines.join("\r\n") + "\r\n")));
}

// ---------------------------------------------------------------- loading

TEST_F(DataFileTest, BareLineFeedsAndAMissingEmptyLineBeforeSetpointsAreAccepted) {
    QList<QByteArray> lines = SavedLines();
    const DataFileContents with = Accepted();
    EXPECT_FALSE(with.possiblyTruncated);
    EXPECT_EQ(with.setpointLine[0][0], 82);

    WriteBytes(Path(), lines.join('\n') + '\n');
    const DataFileContents lf = Accepted();
    EXPECT_EQ(Saved(lf.record), Saved(with.record));
    EXPECT_FALSE(lf.possiblyTruncated);

    lines.removeAt(78);
    WriteLines(Path(), lines);
    const DataFileContents without = Accepted();
    EXPECT_EQ(Saved(without.record), Saved(with.record));
    EXPECT_EQ(without.parameterLine[1], 4);
    EXPECT_EQ(without.setpointLine[0][0], 81);
    EXPECT_EQ(without.setpointLine[59][2], 260);
}

TEST_F(DataFileTest, MissingFinalLineEndMarksTheFilePossiblyTruncated) {
    // The last value cut short: it still loads, and the caller is told.
    const QByteArray whole = SavedLines().join("\r\n");
    WriteBytes(Path(), whole.left(whole.size() - 2));
    DataFileContents cut = Accepted();
    EXPECT_TRUE(cut.possiblyTruncated);
    EXPECT_EQ(cut.record.ReadSetpointData(59, Data::EditedDwellColumn), -58);

    // A blank last line without its line end counts the same.
    WriteBytes(Path(), whole + "\r\n\r\n  ");
    EXPECT_TRUE(Accepted().possiblyTruncated);
}

TEST_F(DataFileTest, OnlyBlankLinesMayFollowTheLastSetpoint) {
    const QList<QByteArray> saved = SavedLines();
    WriteLines(Path(), saved + QList<QByteArray>{"", " \t", ""});
    EXPECT_EQ(Accepted().record.ReadSetpointData(59, Data::EditedDwellColumn), -5830);

    const struct {
        QList<QByteArray> after;
        QString refusal;
    } cases[] = {
        {{"x"}, "Line 262: expected only blank lines after the last setpoint, found \"x\"."},
        {{"", "0"}, "Line 263: expected only blank lines after the last setpoint, found \"0\"."},
        {{" ", "\r"}, "Line 263: expected only blank lines after the last setpoint, found \"?\"."},
    };
    for (const auto& c : cases) {
        WriteLines(Path(), saved + c.after);
        EXPECT_EQ(Refusal(), Corrupted + c.refusal);
    }
}

// ---------------------------------------------------------------- refusals

TEST_F(DataFileTest, ValueLinesMustBeWholeNumbers) {
    const QList<QByteArray> saved = SavedLines();
    const struct {
        int line;
        QString expected;
    } places[] = {
        {4, "the edited value of parameter 1"},
        {150, "the edited dwell of setpoint 23"},
    };
    for (const auto& place : places) {
        for (const QByteArray value : {"abc", "12abc", "", " ", "1.5", "12.0", "1e3", "-", "+5",
                                       "0x10", "2147483648", "-2147483649"}) {
            WriteReplaced(saved, place.line, value);
            EXPECT_EQ(Refusal(), NotAWholeNumber(place.line, place.expected, value));
        }
        WriteReplaced(saved, place.line, " -17\t");
        Data record = Accepted().record;
        EXPECT_EQ(place.line == 150 ? record.ReadSetpointData(22, Data::EditedDwellColumn)
                                    : Edited(record, place.line - 3),
                  -17);
    }

    WriteReplaced(saved, 13, "1" + QByteArray(400, '0'));
    EXPECT_EQ(Refusal(), NotAWholeNumber(13, "the edited value of parameter 10",
                                         "1" + QByteArray(39, '0') + "..."));
}

TEST_F(DataFileTest, HeadersMustBeTheRecordsOwn) {
    const QList<QByteArray> saved = SavedLines();
    const struct {
        int line;
        QByteArray text;
        QString expected;
    } cases[] = {
        {1, "777ASCII ", "\"777ASCII\""},
        {2, "0", "the first parameter index (1)"},
        {3, "76", "the last parameter index (75)"},
        {80, "1", "the first setpoint number (0)"},
        {81, "58", "the last setpoint number (59)"},
    };
    for (const auto& c : cases) {
        WriteReplaced(saved, c.line, c.text);
        EXPECT_EQ(Refusal(), Corrupted + QStringLiteral("Line %1: expected %2, found \"%3\".")
                                             .arg(c.line)
                                             .arg(c.expected, QString::fromLatin1(c.text)));
    }

    WriteReplaced(saved, 2, " 1\t");
    Accepted();
}

TEST_F(DataFileTest, TruncatedFileChangesNothing) {
    const QList<QByteArray> lines = SavedLines();
    for (const int kept : {0, 1, 2, 3, 40, 78, 79, 80, 81, 82, 83, 200, 260}) {
        SCOPED_TRACE(kept);
        WriteLines(Path(), lines.first(kept));
        const QString error = Refusal();
        EXPECT_TRUE(error.startsWith(Corrupted));
        EXPECT_TRUE(error.contains(QStringLiteral("Line %1: expected ").arg(kept + 1)))
            << error.toStdString();
        EXPECT_TRUE(error.endsWith(QStringLiteral(", but the file ends before it.")));
    }
    EXPECT_EQ(Refusal(), Corrupted + "Line 261: expected the edited dwell of setpoint 60, but "
                                     "the file ends before it.");

    // Cut in the middle of a line.
    const QByteArray whole = lines.join("\r\n") + "\r\n";
    WriteBytes(Path(), whole.left(whole.indexOf("\r\n20003") + 5));
    EXPECT_TRUE(Refusal().contains(QStringLiteral("Line 84: ")));
}

TEST_F(DataFileTest, ForeignFileIsRefused) {
    WriteBytes(Path(), QByteArray(5000, 'x'));
    EXPECT_EQ(Refusal(), Corrupted + "Line 1: expected \"777ASCII\", but the line is longer "
                                     "than 1000 characters.");

    WriteBytes(Path(), QByteArray("\x7f"
                                  "ELF\x02\x01\x00\x00\r\n",
                                  10));
    EXPECT_EQ(Refusal(), Corrupted + "Line 1: expected \"777ASCII\", found \"?ELF????\".");
}

TEST_F(DataFileTest, MissingFileIsNamed) {
    const QString path = dir.filePath(QStringLiteral("none.dat"));
    QString error;
    EXPECT_FALSE(ReadSensorDataFile(path, target, &error));
    EXPECT_EQ(error, QStringLiteral("The sensor data file \"%1\" could not be opened: it does "
                                    "not exist.")
                         .arg(QDir::toNativeSeparators(path)));
}

#ifdef Q_OS_UNIX
TEST_F(DataFileTest, OnlyRegularFilesAreOpened) {
    const QString fifo = dir.filePath(QStringLiteral("fifo.dat"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = dir.filePath(QStringLiteral("link.dat"));
    ASSERT_TRUE(QFile::link(fifo, link));

    for (const QString& path : {fifo, link, QStringLiteral("/dev/zero"), dir.path()}) {
        SCOPED_TRACE(path.toStdString());
        // Opening a FIFO would wait for a writer; the wait is bounded so that
        // a fault fails the test instead of hanging it.
        auto reading = std::async(std::launch::async, [&path, this] {
            QString error;
            return ReadSensorDataFile(path, target, &error) ? QString() : error;
        });
        if (reading.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
            ::close(::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK));
            ADD_FAILURE() << "the reader waited";
        }
        EXPECT_EQ(reading.get(),
                  QStringLiteral("The sensor data file \"%1\" could not be opened: it is not a "
                                 "regular file.")
                      .arg(QDir::toNativeSeparators(path)));
    }
}
#endif

TEST_F(DataFileTest, FailedSaveKeepsTheEarlierFileWhole) {
    SavedLines();
    const QString earlier = test::FileText(Path());
    target.WriteParameterData(1, Data::ChangedDataColumn, 5);

    // The earlier file stands where the new file's folder should be.
    const QString path = Path() + QStringLiteral("/new.dat");
    QString error;
    EXPECT_FALSE(SaveSensorDataFile(path, target, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("The sensor data file \"%1\" could not be saved: ")
                                     .arg(QDir::toNativeSeparators(path))))
        << error.toStdString();
    EXPECT_EQ(test::FileText(Path()), earlier);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("sensor.dat")});
}

// ---------------------------------------------------------------- names

TEST(DataFileNames, ProposedNameExtensionAndCaption) {
    Data data;
    data.setSerialNumber(QStringLiteral(" 123456789012 "));
    EXPECT_EQ(ProposedDataFileName(data, QDate(2031, 12, 24)), "123456789012 20311224.dat");
    data.setSerialNumber(QStringLiteral("%2/..\\x"));
    EXPECT_EQ(ProposedDataFileName(data, QDate(2004, 3, 5)), "%2_.._X 20040305.dat");

    EXPECT_TRUE(HasDataFileExtension(QStringLiteral("SETUP.DAT")));
    for (const char* name : {"setup.txt", "setup", "setup.dat.txt", "folder.dat/setup"}) {
        EXPECT_FALSE(HasDataFileExtension(QString::fromLatin1(name))) << name;
    }
    EXPECT_EQ(WindowCaption(QStringLiteral("Kelvar"), BareFileName(QStringLiteral("/a/b/s 1.dat"))),
              "Kelvar (s 1.dat)");
    EXPECT_EQ(WindowCaption(QStringLiteral("Kelvar"), QString()), "Kelvar");
}

} // namespace
