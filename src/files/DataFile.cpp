#include "files/DataFile.h"

#include "model/SensorData.h"

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>

namespace kelvar {

namespace {

constexpr char Magic[] = "777ASCII";
constexpr char LineEnd[] = "\r\n";
// Far longer than any line the file needs; a longer one means a foreign file.
constexpr qsizetype MaxLineLength = 1000;
// How much of a refused line the error shows.
constexpr qsizetype ShownLength = 40;

using Limits32 = std::numeric_limits<std::int32_t>;

constexpr std::int32_t EditedSetpointColumns[] = {
    clsSensorData::EditedTargetColumn,
    clsSensorData::EditedVelocityColumn,
    clsSensorData::EditedDwellColumn,
};

QString NativePath(const QString& path) {
    return QDir::toNativeSeparators(path);
}

bool Fail(QString* error, const QString& text) {
    if (error != nullptr) {
        *error = text;
    }
    return false;
}

QByteArray FileText(const clsSensorData& data) {
    // Reading a setpoint makes it the record's current one; read a copy so
    // that saving leaves the caller's record exactly as it was.
    clsSensorData record = data;
    QByteArray text;
    const auto line = [&text](const QByteArray& content) {
        text += content + LineEnd;
    };

    line(Magic);
    line("1");
    line(QByteArray::number(record.MaxParameters()));
    for (int i = 1; i <= record.MaxParameters(); ++i) {
        line(QByteArray::number(record.ReadParameterData(i, clsSensorData::ChangedDataColumn)));
    }
    line({});
    line("0");
    line(QByteArray::number(record.MaxSetpoints()));
    for (int i = 0; i <= record.MaxSetpoints(); ++i) {
        for (const std::int32_t column : EditedSetpointColumns) {
            line(QByteArray::number(record.ReadSetpointData(i, column)));
        }
    }
    return text;
}

// The line without the blanks and tabs around it.
QByteArrayView Unblanked(QByteArrayView line) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t';
    };
    while (!line.isEmpty() && blank(line.front())) {
        line = line.sliced(1);
    }
    while (!line.isEmpty() && blank(line.back())) {
        line.chop(1);
    }
    return line;
}

// A whole number and nothing else but blanks around it.
std::optional<std::int32_t> ParseWholeNumber(QByteArrayView line) {
    const QByteArrayView digits = Unblanked(line);
    std::int32_t value = 0;
    const char* end = digits.data() + digits.size();
    // from_chars takes no '+' and no blanks, and ignores the locale.
    const std::from_chars_result result = std::from_chars(digits.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end) {
        return std::nullopt;
    }
    return value;
}

// Reads the file's lines in order and, for one that cannot be used, words
// the refusal with its number and what it should have held.
class DataFileReader {
public:
    explicit DataFileReader(QFile& file) : file_(file) {}

    const QString& Error() const { return error_; }
    // The number of the line read last.
    int LineNumber() const { return number_; }
    bool AtEnd() const { return file_.atEnd(); }
    bool LastLineHadLineEnd() const { return lastLineEnded_; }

    // The next line without its line end (CR LF, or a bare LF).
    std::optional<QByteArray> Line(const QString& expected) {
        if (file_.atEnd()) {
            ++number_;
            return Refuse(QStringLiteral("Line %1: expected %2, but the file ends before it.")
                              .arg(number_)
                              .arg(expected));
        }
        QByteArray line = file_.readLine(MaxLineLength + 1);
        ++number_;
        if (file_.error() != QFileDevice::NoError) {
            return Refuse(QStringLiteral("Line %1 could not be read: %2.")
                              .arg(number_)
                              .arg(file_.errorString()));
        }
        lastLineEnded_ = line.endsWith('\n');
        if (lastLineEnded_) {
            line.chop(1);
        } else if (!file_.atEnd()) {
            return Refuse(QStringLiteral("Line %1: expected %2, but the line is longer than %3 "
                                         "characters.")
                              .arg(number_)
                              .arg(expected)
                              .arg(MaxLineLength));
        }
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        return line;
    }

    // The given line (the last one read) as a whole number.
    std::optional<std::int32_t> WholeNumber(const QByteArray& line, const QString& expected) {
        if (const std::optional<std::int32_t> value = ParseWholeNumber(line)) {
            return value;
        }
        return WrongValue(line, QStringLiteral("%1, a whole number from %2 to %3")
                                    .arg(expected)
                                    .arg(Limits32::min())
                                    .arg(Limits32::max()));
    }

    std::optional<std::int32_t> WholeNumber(const QString& expected) {
        const std::optional<QByteArray> line = Line(expected);
        if (!line) {
            return std::nullopt;
        }
        return WholeNumber(*line, expected);
    }

    // Whether the given line (the last one read) holds exactly the header
    // value the record needs.
    bool Header(const QByteArray& line, const QString& expected, std::int32_t wanted) {
        if (ParseWholeNumber(line) == wanted) {
            return true;
        }
        WrongValue(line, QStringLiteral("%1 (%2)").arg(expected).arg(wanted));
        return false;
    }

    bool Header(const QString& expected, std::int32_t wanted) {
        const std::optional<QByteArray> line = Line(expected);
        return line && Header(*line, expected, wanted);
    }

    std::nullopt_t WrongValue(const QByteArray& line, const QString& expected) {
        // Foreign files may hold anything; show printable ASCII only.
        QString shown;
        for (const char c : line.first(std::min(line.size(), ShownLength))) {
            shown += c >= ' ' && c <= '~' ? QChar::fromLatin1(c) : QChar(u'?');
        }
        if (line.size() > ShownLength) {
            shown += QStringLiteral("...");
        }
        return Refuse(QStringLiteral("Line %1: expected %2, found \"%3\".")
                          .arg(number_)
                          .arg(expected, shown));
    }

private:
    std::nullopt_t Refuse(const QString& text) {
        error_ = text;
        return std::nullopt;
    }

    QFile& file_;
    int number_ = 0;
    bool lastLineEnded_ = false;
    QString error_;
};

// Reads the whole file into contents; false, with the reader's error, at the
// first line that cannot be used.
bool ReadFile(DataFileReader& in, DataFileContents& contents) {
    clsSensorData& record = contents.record;
    const QString magicText = QStringLiteral("\"%1\"").arg(QLatin1String(Magic));
    const std::optional<QByteArray> magic = in.Line(magicText);
    if (!magic) {
        return false;
    }
    if (*magic != Magic) {
        in.WrongValue(*magic, magicText);
        return false;
    }

    // Headers other than the record's own would put values into the wrong
    // rows or leave some of the record's unset.
    if (!in.Header(QStringLiteral("the first parameter index"), 1) ||
        !in.Header(QStringLiteral("the last parameter index"), record.MaxParameters())) {
        return false;
    }
    for (int i = 1; i <= record.MaxParameters(); ++i) {
        const auto value =
            in.WholeNumber(QStringLiteral("the edited value of parameter %1").arg(i));
        if (!value) {
            return false;
        }
        record.WriteParameterData(i, clsSensorData::ChangedDataColumn, *value);
        contents.parameterLine[static_cast<std::size_t>(i)] = in.LineNumber();
    }

    // Files without the empty line have the first setpoint number in its place.
    const QString firstSetpointText = QStringLiteral("the first setpoint number");
    std::optional<QByteArray> line =
        in.Line(QStringLiteral("the empty line or the first setpoint number"));
    if (line && line->isEmpty()) {
        line = in.Line(firstSetpointText);
    }
    if (!line || !in.Header(*line, firstSetpointText, 0) ||
        !in.Header(QStringLiteral("the last setpoint number"), record.MaxSetpoints())) {
        return false;
    }
    for (int i = 0; i <= record.MaxSetpoints(); ++i) {
        for (std::size_t field = 0; field < std::size(EditedSetpointColumns); ++field) {
            const std::int32_t column = EditedSetpointColumns[field];
            const auto value = in.WholeNumber(
                QStringLiteral("the edited %1 of setpoint %2")
                    .arg(SetpointFieldName(column - clsSensorData::EditedTargetColumn))
                    .arg(SetpointNumber(i)));
            if (!value) {
                return false;
            }
            record.WriteSetpointData(i, column, *value);
            contents.setpointLine[static_cast<std::size_t>(i)][field] = in.LineNumber();
        }
    }

    const QString trailingText = QStringLiteral("only blank lines after the last setpoint");
    while (!in.AtEnd()) {
        line = in.Line(trailingText);
        if (!line) {
            return false;
        }
        if (!Unblanked(*line).isEmpty()) {
            in.WrongValue(*line, trailingText);
            return false;
        }
    }
    contents.possiblyTruncated = !in.LastLineHadLineEnd();
    return true;
}

} // namespace

bool SaveSensorDataFile(const QString& path, const clsSensorData& data, QString* error) {
    const auto failure = [&path, error](const QString& reason) {
        return Fail(error, QStringLiteral("The sensor data file \"%1\" could not be saved: %2.")
                               .arg(NativePath(path), reason));
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return failure(file.errorString());
    }
    const QByteArray text = FileText(data);
    if (file.write(text) != text.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return failure(reason);
    }
    if (!file.commit()) {
        return failure(file.errorString());
    }
    return true;
}

std::optional<DataFileContents> ReadSensorDataFile(const QString& path, const clsSensorData& data,
                                                   QString* error) {
    const auto cannotOpen = [&path, error](const QString& reason) {
        Fail(error, QStringLiteral("The sensor data file \"%1\" could not be opened: %2.")
                        .arg(NativePath(path), reason));
        return std::nullopt;
    };
    // Opening a FIFO waits for a writer, and a device never ends: look first.
    const QFileInfo info(path);
    if (!info.exists()) {
        return cannotOpen(QStringLiteral("it does not exist"));
    }
    if (!info.isFile()) {
        return cannotOpen(QStringLiteral("it is not a regular file"));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return cannotOpen(file.errorString());
    }
    DataFileContents contents{data};
    DataFileReader in(file);
    if (!ReadFile(in, contents)) {
        Fail(error, QStringLiteral("File is not a valid data file\r\n"
                                   "or the data is corrupted.\r\n") +
                        in.Error());
        return std::nullopt;
    }
    return contents;
}

QString ProposedDataFileName(const clsSensorData& data, const QDate& date) {
    // Not through arg(): a serial number is the sensor's text and may hold '%'.
    return SerialInFileName(data.SerialNumber()) + u' ' +
           QStringLiteral("%1%2%3.dat")
               .arg(date.year(), 4, 10, QChar(u'0'))
               .arg(date.month(), 2, 10, QChar(u'0'))
               .arg(date.day(), 2, 10, QChar(u'0'));
}

QString SerialInFileName(const QString& serial) {
    QString name = serial.trimmed();
    name.replace(u'/', u'_').replace(u'\\', u'_');
    return name;
}

bool HasDataFileExtension(const QString& path) {
    return QFileInfo(path).suffix().compare(QLatin1String("dat"), Qt::CaseInsensitive) == 0;
}

QString BareFileName(const QString& path) {
    return QFileInfo(path).fileName();
}

QString WindowCaption(const QString& programCaption, const QString& bareFileName) {
    if (bareFileName.isEmpty()) {
        return programCaption;
    }
    return QStringLiteral("%1 (%2)").arg(programCaption, bareFileName);
}

} // namespace kelvar
