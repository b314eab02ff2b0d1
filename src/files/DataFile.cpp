#include "files/DataFile.h"

#include "model/Numbers.h"
#include "model/SensorData.h"

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
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

using Limits16 = std::numeric_limits<std::int16_t>;
using Limits32 = std::numeric_limits<std::int32_t>;

constexpr std::int32_t EditedSetpointColumns[] = {
    clsSensorData::EditedTargetColumn,
    clsSensorData::EditedVelocityColumn,
    clsSensorData::EditedDwellColumn,
};

QString SetpointValueName(std::int32_t column) {
    switch (column) {
    case clsSensorData::EditedTargetColumn:
        return QStringLiteral("target");
    case clsSensorData::EditedVelocityColumn:
        return QStringLiteral("velocity");
    default:
        return QStringLiteral("dwell");
    }
}

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

// The number a line begins with, blanks before it skipped: optional minus,
// digits, optional decimals; 0 when the line begins with no number. Empty
// when the number does not fit a double.
std::optional<double> ParseLeadingNumber(QByteArrayView line) {
    while (!line.isEmpty() && (line.front() == ' ' || line.front() == '\t')) {
        line = line.sliced(1);
    }
    // from_chars would also take "inf", "nan" and exponents.
    qsizetype end = line.startsWith('-') ? 1 : 0;
    const auto skipDigits = [&line, &end] {
        while (end < line.size() && line[end] >= '0' && line[end] <= '9') {
            ++end;
        }
    };
    skipDigits();
    if (end < line.size() && line[end] == '.') {
        const qsizetype point = end++;
        skipDigits();
        // A double holds no more; hundreds of them would underflow it.
        end = std::min(end, point + 1 + std::numeric_limits<double>::max_digits10);
    }
    double value = 0.0;
    const std::errc failure = std::from_chars(line.data(), line.data() + end, value).ec;
    if (failure == std::errc::result_out_of_range) {
        return std::nullopt;
    }
    return failure == std::errc() ? value : 0.0;
}

// A whole number and nothing else but blanks around it.
std::optional<std::int32_t> ParseWholeNumber(QByteArrayView line) {
    const QByteArrayView digits = line.trimmed();
    std::int32_t value = 0;
    const char* end = digits.data() + digits.size();
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
        if (line.endsWith('\n')) {
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

    // The number the given line (the last one read) begins with, rounded to
    // a whole number, which must lie within low to high.
    std::optional<std::int32_t> Number(const QByteArray& line, const QString& expected,
                                       std::int32_t low, std::int32_t high) {
        // Rounding is only defined well inside the range of a 64-bit integer.
        constexpr double Huge = 1e15;
        const std::optional<double> value = ParseLeadingNumber(line);
        if (value && std::fabs(*value) < Huge) {
            const std::int64_t rounded = RoundHalfEven(*value);
            if (rounded >= low && rounded <= high) {
                return static_cast<std::int32_t>(rounded);
            }
        }
        return WrongValue(
            line, QStringLiteral("%1, a number from %2 to %3").arg(expected).arg(low).arg(high));
    }

    std::optional<std::int32_t> Number(const QString& expected, std::int32_t low,
                                       std::int32_t high) {
        const std::optional<QByteArray> line = Line(expected);
        if (!line) {
            return std::nullopt;
        }
        return Number(*line, expected, low, high);
    }

    std::optional<std::int32_t> WholeNumber(const QString& expected) {
        const std::optional<QByteArray> line = Line(expected);
        if (!line) {
            return std::nullopt;
        }
        if (const std::optional<std::int32_t> value = ParseWholeNumber(*line)) {
            return value;
        }
        return WrongValue(*line, QStringLiteral("%1, a whole number from %2 to %3")
                                     .arg(expected)
                                     .arg(Limits32::min())
                                     .arg(Limits32::max()));
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
    QString error_;
};

// Reads the whole file into record; false, with the reader's error, at the
// first line that cannot be used.
bool ReadFile(DataFileReader& in, clsSensorData& record) {
    const QString magicText = QStringLiteral("\"%1\"").arg(QLatin1String(Magic));
    const std::optional<QByteArray> magic = in.Line(magicText);
    if (!magic) {
        return false;
    }
    if (*magic != Magic) {
        in.WrongValue(*magic, magicText);
        return false;
    }

    const auto firstParameter =
        in.Number(QStringLiteral("the first parameter index"), 1, record.MaxParameters());
    if (!firstParameter) {
        return false;
    }
    const auto lastParameter =
        in.Number(QStringLiteral("the last parameter index"), Limits16::min(), Limits16::max());
    if (!lastParameter) {
        return false;
    }
    const int parameters = std::min<int>(*lastParameter, record.MaxParameters());
    for (int i = *firstParameter; i <= parameters; ++i) {
        const auto value = in.Number(QStringLiteral("the edited value of parameter %1").arg(i),
                                     Limits32::min(), Limits32::max());
        if (!value) {
            return false;
        }
        record.WriteParameterData(i, clsSensorData::ChangedDataColumn, *value);
    }

    // Files without the empty line have the first setpoint number in its place.
    const QString firstSetpointText = QStringLiteral("the first setpoint number");
    std::optional<QByteArray> line =
        in.Line(QStringLiteral("the empty line or the first setpoint number"));
    if (line && line->isEmpty()) {
        line = in.Line(firstSetpointText);
    }
    if (!line) {
        return false;
    }
    const auto firstSetpoint = in.Number(*line, firstSetpointText, 0, clsSensorData::Rows - 1);
    if (!firstSetpoint) {
        return false;
    }
    const auto lastSetpoint =
        in.Number(QStringLiteral("the last setpoint number"), Limits16::min(), Limits16::max());
    if (!lastSetpoint) {
        return false;
    }
    const int setpoints = std::min<int>(*lastSetpoint, record.MaxSetpoints());
    for (int i = *firstSetpoint; i <= setpoints; ++i) {
        for (const std::int32_t column : EditedSetpointColumns) {
            const auto value = in.WholeNumber(QStringLiteral("the edited %1 of setpoint %2")
                                                  .arg(SetpointValueName(column))
                                                  .arg(i));
            if (!value) {
                return false;
            }
            record.WriteSetpointData(i, column, *value);
        }
    }
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

bool LoadSensorDataFile(const QString& path, clsSensorData& data, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Fail(error, QStringLiteral("The sensor data file \"%1\" could not be opened: %2.")
                               .arg(NativePath(path), file.errorString()));
    }
    clsSensorData loaded = data;
    DataFileReader in(file);
    if (!ReadFile(in, loaded)) {
        return Fail(error, QStringLiteral("File is not a valid data file\r\n"
                                          "or the data is corrupted.\r\n") +
                               in.Error());
    }
    data = loaded;
    return true;
}

QString ProposedDataFileName(const clsSensorData& data, const QDate& date) {
    // Not through arg(): a serial number is the sensor's text and may hold '%'.
    return data.SerialNumber().trimmed() + u' ' +
           QStringLiteral("%1%2%3.dat")
               .arg(date.year(), 4, 10, QChar(u'0'))
               .arg(date.month(), 2, 10, QChar(u'0'))
               .arg(date.day(), 2, 10, QChar(u'0'));
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
