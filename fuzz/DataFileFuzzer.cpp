// Arbitrary bytes as a sensor data file, read into a record set up as the
// program sets one up.
//
// Checked besides memory safety: a refusal is a message of whole lines that
// ends with its cause, naming a line of the file; an accepted file puts into
// the edited columns exactly the numbers on the lines it names and changes
// nothing else of the record, and says it may be cut short exactly when the
// file has no final line end; the record given is never changed.

#include "Fuzzing.h"
#include "files/DataFile.h"
#include "model/SensorData.h"
#include "support/RecordSnapshot.h"

#include <QList>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

using namespace kelvar;
using Data = clsSensorData;

namespace {

using test::RecordSnapshot;

RecordSnapshot Take(const Data& data) {
    return test::Snapshot(data);
}

// A record as a window holds it before loading, its read values and its
// setpoints all different, so that a value put into the wrong cell shows.
Data Original() {
    Data data;
    InitParameterTable(data);
    for (int row = 0; row < Data::Rows; ++row) {
        for (int column = 0; column < Data::Columns; ++column) {
            data.WriteSetpointData(row, column, 1000 * row + column);
        }
        data.WriteParameterData(row, Data::SensorDataColumn, -row);
    }
    data.setSerialNumber(QStringLiteral("00012345"));
    data.setDataIsLoaded(true);
    return data;
}

constexpr std::int32_t EditedSetpointColumns[] = {
    Data::EditedTargetColumn,
    Data::EditedVelocityColumn,
    Data::EditedDwellColumn,
};

// The file's lines as a text editor shows them: ended by LF, a CR before it
// not part of the line.
class Lines {
public:
    explicit Lines(const QByteArray& bytes) : lines_(bytes.split('\n')) {
        for (QByteArray& line : lines_) {
            if (line.endsWith('\r')) {
                line.chop(1);
            }
        }
    }

    // The highest number a refusal may give a line: one past the last, when
    // the file ends before a line it needs.
    qsizetype LastNameable() const { return lines_.size() + 1; }

    // Ends the run unless line number (1-based) holds value and nothing else
    // but blanks.
    void ExpectValue(int number, std::int32_t value, const char* what) const {
        if (number < 1 || number > lines_.size()) {
            fuzz::Violated(what, "line number", QByteArray::number(number));
        }
        QByteArray line = lines_[number - 1];
        while (line.startsWith(' ') || line.startsWith('\t')) {
            line.remove(0, 1);
        }
        while (line.endsWith(' ') || line.endsWith('\t')) {
            line.chop(1);
        }
        bool ok = false;
        const qlonglong held = line.toLongLong(&ok, 10);
        if (!ok || held != value) {
            fuzz::Violated(what, "line", lines_[number - 1]);
        }
    }

private:
    QList<QByteArray> lines_;
};

void CheckRefusal(const QString& error, const Lines& lines) {
    if (error.isEmpty()) {
        fuzz::Violated("refused without a reason", "error", {});
    }
    const QStringList parts = error.split(QStringLiteral("\r\n"));
    for (const QString& part : parts) {
        if (part.isEmpty() || part.contains(u'\r') || part.contains(u'\n')) {
            fuzz::Violated("an error line is empty or broken", "error", error.toUtf8());
        }
    }
    // "Line N: ..." or "Line N could not be read: ..."
    const QString& cause = parts.last();
    const QLatin1String prefix("Line ");
    qsizetype end = prefix.size();
    while (end < cause.size() && cause[end] >= u'0' && cause[end] <= u'9') {
        ++end;
    }
    bool ok = false;
    const int number = cause.mid(prefix.size(), end - prefix.size()).toInt(&ok);
    if (!cause.startsWith(prefix) || !ok || number < 1 || number > lines.LastNameable()) {
        fuzz::Violated("the cause names no line of the file", "error", error.toUtf8());
    }
}

void CheckAccepted(const DataFileContents& contents, const Data& original, const Lines& lines,
                   const QByteArray& bytes) {
    Data record = contents.record;
    for (int i = 1; i <= record.MaxParameters(); ++i) {
        lines.ExpectValue(contents.parameterLine[static_cast<std::size_t>(i)],
                          record.ReadParameterData(i, Data::ChangedDataColumn),
                          "an edited parameter value is not its line's");
    }
    for (int s = 0; s <= record.MaxSetpoints(); ++s) {
        for (std::size_t field = 0; field < std::size(EditedSetpointColumns); ++field) {
            lines.ExpectValue(contents.setpointLine[static_cast<std::size_t>(s)][field],
                              record.ReadSetpointData(s, EditedSetpointColumns[field]),
                              "an edited setpoint value is not its line's");
        }
    }

    // With the original's edited values put back the record is the original.
    Data source = original; // reading a setpoint changes the record
    for (int i = 1; i <= record.MaxParameters(); ++i) {
        record.WriteParameterData(i, Data::ChangedDataColumn,
                                  source.ReadParameterData(i, Data::ChangedDataColumn));
    }
    for (int s = 0; s <= record.MaxSetpoints(); ++s) {
        for (const std::int32_t column : EditedSetpointColumns) {
            record.WriteSetpointData(s, column, source.ReadSetpointData(s, column));
        }
    }
    if (!(Take(record) == Take(original))) {
        fuzz::Violated("a read changed more than the edited values", "file start", bytes.left(100));
    }
    if (contents.possiblyTruncated != !bytes.endsWith('\n')) {
        fuzz::Violated("cut short said wrongly", "file end", bytes.right(100));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::NeedApplication();
    static const Data original = Original();
    static const RecordSnapshot before = Take(original);
    static const QString path = fuzz::ScratchPath(QStringLiteral("sensor.dat"));

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    fuzz::WriteFile(path, bytes);
    QString error;
    const std::optional<DataFileContents> contents = ReadSensorDataFile(path, original, &error);

    if (!(Take(original) == before)) {
        fuzz::Violated("the record given was changed", "file start", bytes.left(100));
    }
    const Lines lines(bytes);
    if (contents) {
        CheckAccepted(*contents, original, lines, bytes);
    } else {
        CheckRefusal(error, lines);
    }
    return 0;
}
