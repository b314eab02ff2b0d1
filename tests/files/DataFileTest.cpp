#include "files/DataFile.h"
#include "model/SensorData.h"
#include "support/RecordSnapshot.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <future>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace kelvar;
using Data = clsSensorData;

namespace {

// Reads the file into data, all or nothing, as the program uses a file.
bool LoadSensorDataFile(const QString& path, clsSensorData& data, QString* error) {
    std::optional<DataFileContents> contents = ReadSensorDataFile(path, data, error);
    if (contents) {
        data = contents->record;
    }
    return contents.has_value();
}

const QString Corrupted =
    QStringLiteral("File is not a valid data file\r\nor the data is corrupted.\r\n");
constexpr std::int32_t Untouched = 424242;

using test::RecordSnapshot;

RecordSnapshot Take(const Data& data) {
    return test::Snapshot(data);
}

void ExpectSame(const RecordSnapshot& expected, const RecordSnapshot& actual) {
    EXPECT_EQ(expected.parameters, actual.parameters);
    EXPECT_EQ(expected.setpoints, actual.setpoints);
    EXPECT_EQ(expected.texts, actual.texts);
    EXPECT_EQ(expected.resolution, actual.resolution);
    EXPECT_EQ(expected.maxSetpoints, actual.maxSetpoints);
    EXPECT_EQ(expected.dataIsLoaded, actual.dataIsLoaded);
}

// Line number of one edited setpoint value in a file with the empty line.
int SetpointLine(int setpoint, int column) {
    return 82 + 3 * setpoint + (column - Data::EditedTargetColumn);
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// The file's lines; every line must end in CR LF.
QList<QByteArray> Lines(const QString& path) {
    QList<QByteArray> lines = ReadBytes(path).split('\n');
    EXPECT_TRUE(lines.last().isEmpty()) << "the last line has no line end";
    lines.removeLast();
    for (QByteArray& line : lines) {
        EXPECT_TRUE(line.endsWith('\r'));
        line.chop(1);
    }
    return lines;
}

void WriteLines(const QString& path, const QList<QByteArray>& lines) {
    QByteArray bytes;
    for (const QByteArray& line : lines) {
        bytes += line + "\r\n";
    }
    WriteBytes(path, bytes);
}

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        InitParameterTable(source);
        InitParameterTable(target);
        for (int row = 0; row < Data::Rows; ++row) {
            source.WriteParameterData(row, Data::SensorDataColumn, 1000 + row);
            source.WriteParameterData(row, Data::ChangedDataColumn,
                                      (row % 2 ? -1 : 1) * row * 1237);
            target.WriteParameterData(row, Data::SensorDataColumn, 2000 + row);
            target.WriteParameterData(row, Data::ChangedDataColumn, Untouched);
            target.WriteParameterData(row, Data::MinColumn, -row);
            for (int column = 0; column < Data::Columns; ++column) {
                source.WriteSetpointData(row, column, 100000 * row + 10 * column - 500000);
                target.WriteSetpointData(
                    row, column, column < Data::EditedTargetColumn ? 3000 + row : Untouched);
            }
        }
        source.WriteParameterData(7, Data::ChangedDataColumn,
                                  std::numeric_limits<std::int32_t>::min());
        source.WriteParameterData(8, Data::ChangedDataColumn,
                                  std::numeric_limits<std::int32_t>::max());
        target.setSerialNumber(QStringLiteral("00099999"));
        target.setDataIsLoaded(true);
        ASSERT_EQ(source.MaxSetpoints(), 59);
    }

    QString Path() const { return dir.filePath(QStringLiteral("sensor.dat")); }

    // Saves source and hands back the file's lines.
    QList<QByteArray> SavedLines() {
        QString error;
        EXPECT_TRUE(SaveSensorDataFile(Path(), source, &error)) << error.toStdString();
        return Lines(Path());
    }

    // Loading a file that must be refused leaves target exactly as it was.
    QString Refusal() {
        const RecordSnapshot before = Take(target);
        QString error;
        EXPECT_FALSE(LoadSensorDataFile(Path(), target, &error));
        ExpectSame(before, Take(target));
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

    std::int32_t Edited(Data& data, int row) {
        return data.ReadParameterData(row, Data::ChangedDataColumn);
    }

    QTemporaryDir dir;
    Data source;
    Data target;
};

// ---------------------------------------------------------------- format

TEST_F(DataFileTest, HoldsEditedValuesLineByLine) {
    const QList<QByteArray> lines = SavedLines();
    ASSERT_EQ(lines.size(), 261);
    EXPECT_EQ(lines[0], "777ASCII");
    EXPECT_EQ(lines[1], "1");
    EXPECT_EQ(lines[2], "75");
    EXPECT_EQ(lines[3], "-1237"); // parameter 1
    EXPECT_EQ(lines[4], "2474");
    EXPECT_EQ(lines[9], "-2147483648"); // parameter 7
    EXPECT_EQ(lines[10], "2147483647");
    EXPECT_EQ(lines[77], "-92775"); // parameter 75
    EXPECT_EQ(lines[78], "");
    EXPECT_EQ(lines[79], "0");
    EXPECT_EQ(lines[80], "59");
    EXPECT_EQ(lines[81], "-499970"); // setpoint 0: edited target, velocity, dwell
    EXPECT_EQ(lines[82], "-499960");
    EXPECT_EQ(lines[83], "-499950");
    EXPECT_EQ(lines[SetpointLine(59, Data::EditedDwellColumn) - 1], "5400050");
    EXPECT_EQ(lines[260], "5400050");
}

TEST_F(DataFileTest, SetpointCountFollowsMaxSetpoints) {
    source.setMaxSetpoints(75);
    QList<QByteArray> lines = SavedLines();
    ASSERT_EQ(lines.size(), 81 + 3 * 76);
    EXPECT_EQ(lines[80], "75");
    EXPECT_EQ(lines.last(), "7000050");

    source.setMaxSetpoints(-1); // no setpoint in use
    lines = SavedLines();
    ASSERT_EQ(lines.size(), 81);
    EXPECT_EQ(lines[80], "-1");
}

TEST_F(DataFileTest, TextDoesNotFollowTheLocale) {
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    const QList<QByteArray> plain = SavedLines();
    QLocale::setDefault(QLocale(QLocale::German));
    const QList<QByteArray> german = SavedLines();
    QString error;
    const bool loaded = LoadSensorDataFile(Path(), target, &error);
    QLocale::setDefault(saved);

    EXPECT_EQ(plain, german);
    EXPECT_TRUE(loaded) << error.toStdString();
    EXPECT_EQ(Edited(target, 9), -11133);
}

// ---------------------------------------------------------------- loading

TEST_F(DataFileTest, RoundTripRestoresEditedValuesOnly) {
    QString error;
    ASSERT_TRUE(SaveSensorDataFile(Path(), source, &error)) << error.toStdString();
    RecordSnapshot expected = Take(target);
    ASSERT_TRUE(LoadSensorDataFile(Path(), target, &error)) << error.toStdString();

    RecordSnapshot wanted = Take(source);
    for (int row = 0; row < Data::Rows; ++row) {
        const auto cell = static_cast<std::size_t>(row * Data::Columns);
        if (row >= 1) {
            expected.parameters[cell + Data::ChangedDataColumn] =
                wanted.parameters[cell + Data::ChangedDataColumn];
        }
        for (int column = Data::EditedTargetColumn; row <= 59 && column < Data::Columns; ++column) {
            expected.setpoints[cell + static_cast<std::size_t>(column)] =
                wanted.setpoints[cell + static_cast<std::size_t>(column)];
        }
    }
    ExpectSame(expected, Take(target));
}

TEST_F(DataFileTest, EmptyLineBeforeSetpointsMayBeMissing) {
    QList<QByteArray> lines = SavedLines();
    QString error;
    const auto with = ReadSensorDataFile(Path(), target, &error);
    ASSERT_TRUE(with) << error.toStdString();
    EXPECT_EQ(with->parameterLine[1], 4);
    EXPECT_EQ(with->parameterLine[75], 78);
    EXPECT_EQ(with->setpointLine[0][0], 82);
    EXPECT_EQ(with->setpointLine[0][2], 84);
    EXPECT_EQ(with->setpointLine[59][2], 261);

    lines.removeAt(78);
    WriteLines(Path(), lines);
    const auto without = ReadSensorDataFile(Path(), target, &error);
    ASSERT_TRUE(without) << error.toStdString();
    ExpectSame(Take(with->record), Take(without->record));
    EXPECT_EQ(without->parameterLine[1], 4);
    EXPECT_EQ(without->setpointLine[0][0], 81);
    EXPECT_EQ(without->setpointLine[59][2], 260);
}

TEST_F(DataFileTest, BareLineFeedsAreLineEnds) {
    const QList<QByteArray> lines = SavedLines();
    Data crlf = target;
    QString error;
    ASSERT_TRUE(LoadSensorDataFile(Path(), crlf, &error)) << error.toStdString();

    WriteBytes(Path(), lines.join('\n') + '\n');
    const auto lf = ReadSensorDataFile(Path(), target, &error);
    ASSERT_TRUE(lf) << error.toStdString();
    ExpectSame(Take(crlf), Take(lf->record));
    EXPECT_FALSE(lf->possiblyTruncated);
}

TEST_F(DataFileTest, MissingFinalLineEndMarksTheFilePossiblyTruncated) {
    const QList<QByteArray> lines = SavedLines();
    QString error;
    auto contents = ReadSensorDataFile(Path(), target, &error);
    ASSERT_TRUE(contents) << error.toStdString();
    EXPECT_FALSE(contents->possiblyTruncated);

    // The last value cut short: it still loads, and the caller is told.
    const QByteArray whole = lines.join("\r\n");
    WriteBytes(Path(), whole.left(whole.size() - 2));
    contents = ReadSensorDataFile(Path(), target, &error);
    ASSERT_TRUE(contents) << error.toStdString();
    EXPECT_TRUE(contents->possiblyTruncated);
    EXPECT_EQ(contents->record.ReadSetpointData(59, Data::EditedDwellColumn), 54000);
    EXPECT_TRUE(LoadSensorDataFile(Path(), target, &error)) << error.toStdString();

    // A blank last line without its line end counts the same.
    WriteBytes(Path(), whole + "\r\n\r\n  ");
    contents = ReadSensorDataFile(Path(), target, &error);
    ASSERT_TRUE(contents) << error.toStdString();
    EXPECT_TRUE(contents->possiblyTruncated);
}

TEST_F(DataFileTest, OnlyBlankLinesMayFollowTheLastSetpoint) {
    const QList<QByteArray> saved = SavedLines();
    WriteLines(Path(), saved + QList<QByteArray>{"", " \t", ""});
    QString error;
    ASSERT_TRUE(LoadSensorDataFile(Path(), target, &error)) << error.toStdString();
    EXPECT_EQ(target.ReadSetpointData(59, Data::EditedDwellColumn), 5400050);

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
        {13, "the edited value of parameter 10"},
        {SetpointLine(22, Data::EditedDwellColumn), "the edited dwell of setpoint 22"},
    };
    ASSERT_EQ(places[2].line, 150);
    for (const auto& place : places) {
        for (const QByteArray value : {"abc", "12abc", "", " ", "1.5", "12.0", "1e3", "-", "+5",
                                       "0x10", "2147483648", "-2147483649"}) {
            QList<QByteArray> lines = saved;
            lines[place.line - 1] = value;
            WriteLines(Path(), lines);
            EXPECT_EQ(Refusal(), NotAWholeNumber(place.line, place.expected, value));
        }

        QList<QByteArray> lines = saved;
        lines[place.line - 1] = " -17\t";
        WriteLines(Path(), lines);
        QString error;
        const auto contents = ReadSensorDataFile(Path(), target, &error);
        ASSERT_TRUE(contents) << error.toStdString();
        Data record = contents->record;
        EXPECT_EQ(place.line == 150 ? record.ReadSetpointData(22, Data::EditedDwellColumn)
                                    : Edited(record, place.line - 3),
                  -17);
    }

    QList<QByteArray> lines = saved;
    lines[12] = "1" + QByteArray(400, '0');
    WriteLines(Path(), lines);
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
        {2, "0", "the first parameter index (1)"},
        {2, "3", "the first parameter index (1)"},
        {2, "abc", "the first parameter index (1)"},
        {2, "1.0", "the first parameter index (1)"},
        {3, "10", "the last parameter index (75)"},
        {3, "76", "the last parameter index (75)"},
        {3, "75abc", "the last parameter index (75)"},
        {3, "", "the last parameter index (75)"},
        {80, "1", "the first setpoint number (0)"},
        {80, "zero", "the first setpoint number (0)"},
        {81, "58", "the last setpoint number (59)"},
        {81, "-40000", "the last setpoint number (59)"},
    };
    for (const auto& c : cases) {
        QList<QByteArray> lines = saved;
        lines[c.line - 1] = c.text;
        WriteLines(Path(), lines);
        EXPECT_EQ(Refusal(), Corrupted + QStringLiteral("Line %1: expected %2, found \"%3\".")
                                             .arg(c.line)
                                             .arg(c.expected, QString::fromLatin1(c.text)));
    }

    QList<QByteArray> lines = saved;
    lines[1] = " 1\t";
    WriteLines(Path(), lines);
    QString error;
    EXPECT_TRUE(LoadSensorDataFile(Path(), target, &error)) << error.toStdString();
}

TEST_F(DataFileTest, SetpointCountOtherThanTheRecordsIsRefused) {
    for (const int count : {75, 10, -1}) {
        source.setMaxSetpoints(count);
        SavedLines();
        EXPECT_EQ(Refusal(), Corrupted + QStringLiteral("Line 81: expected the last setpoint "
                                                        "number (59), found \"%1\".")
                                             .arg(count));
    }
}

TEST_F(DataFileTest, FirstLineMustBeExactlyTheMagicText) {
    QList<QByteArray> lines = SavedLines();
    for (const QByteArray magic : {"777ascii", "777ASCII ", "", "777ASCI"}) {
        lines[0] = magic;
        WriteLines(Path(), lines);
        EXPECT_EQ(Refusal(), Corrupted + "Line 1: expected \"777ASCII\", found \"" + magic + "\".");
    }
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
    EXPECT_EQ(Refusal(), Corrupted + "Line 261: expected the edited dwell of setpoint 59, but "
                                     "the file ends before it.");

    // Cut in the middle of a line.
    const QByteArray whole = lines.join("\r\n") + "\r\n";
    WriteBytes(Path(), whole.left(whole.indexOf("\r\n-499960") + 5));
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
    const QByteArray earlier = ReadBytes(Path());
    source.WriteParameterData(1, Data::ChangedDataColumn, 5);

    // The earlier file stands where the new file's folder should be.
    const QString path = Path() + QStringLiteral("/new.dat");
    QString error;
    EXPECT_FALSE(SaveSensorDataFile(path, source, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("The sensor data file \"%1\" could not be saved: ")
                                     .arg(QDir::toNativeSeparators(path))))
        << error.toStdString();
    EXPECT_EQ(ReadBytes(Path()), earlier);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("sensor.dat")});
}

// ---------------------------------------------------------------- names

TEST(DataFileNames, ProposedNameIsSerialNumberAndDate) {
    Data data;
    data.setSerialNumber(QStringLiteral("00012345"));
    EXPECT_EQ(ProposedDataFileName(data, QDate(2004, 3, 5)), "00012345 20040305.dat");
    data.setSerialNumber(QStringLiteral(" 123456789012 "));
    EXPECT_EQ(ProposedDataFileName(data, QDate(2031, 12, 24)), "123456789012 20311224.dat");
    data.setSerialNumber(QStringLiteral("%2"));
    EXPECT_EQ(ProposedDataFileName(data, QDate(2004, 3, 5)), "%2 20040305.dat");
}

TEST(DataFileNames, ExtensionAndCaption) {
    EXPECT_TRUE(HasDataFileExtension(QStringLiteral("/home/a/00012345 20040305.dat")));
    EXPECT_TRUE(HasDataFileExtension(QStringLiteral("SETUP.DAT")));
    EXPECT_FALSE(HasDataFileExtension(QStringLiteral("setup.txt")));
    EXPECT_FALSE(HasDataFileExtension(QStringLiteral("setup")));
    EXPECT_FALSE(HasDataFileExtension(QStringLiteral("setup.dat.txt")));
    EXPECT_FALSE(HasDataFileExtension(QStringLiteral("folder.dat/setup")));

    const QString program = QStringLiteral("Kelvar Setup v8.1.0");
    EXPECT_EQ(BareFileName(QStringLiteral("/home/a/b/setup 1.dat")), "setup 1.dat");
    EXPECT_EQ(WindowCaption(program, QStringLiteral("setup 1.dat")),
              "Kelvar Setup v8.1.0 (setup 1.dat)");
    EXPECT_EQ(WindowCaption(program, QString()), program);
}

} // namespace
