#include "link/CommStatus.h"

#include "model/Errors.h"
#include "model/Numbers.h"

#include <QLocale>

namespace kelvar {

namespace {

struct LineTexts {
    const char* good;
    const char* bad;
};

constexpr std::array<LineTexts, cCommStatus::LineCount> Texts = {{
    {"Communications OK", "Communications Error"},
    {"Sensor Online", "Sensor Not Responding"},
    {"Comm Port Open", "Error Opening Comm Port "},
    {"Rx OK", "Rx Error"},
    {"No CRC Errors", "CRC ERROR"},
    {"Tx OK", "Tx ERROR"},
}};

} // namespace

cCommStatus::cCommStatus() {
    for (int i = 0; i < LineCount; ++i) {
        lines_[i].caption = QString::fromLatin1(Texts[i].good);
        lines_[i].spare = QString::fromLatin1(Texts[i].bad);
    }
    errorTexts_.fill(QStringLiteral("0"));
}

unsigned cCommStatus::Show(const clsBitMap& stateFlags, const clsBitMap& statusWord,
                           const ErrorCounters& rxErrors, const ErrorCounters& txErrors,
                           const QString& portDescription, bool powerCyclePending) {
    const std::array<bool, LineCount> good = {
        stateFlags.TestBit(0),   stateFlags.TestBit(8),   stateFlags.TestBit(4),
        !statusWord.TestBit(16), !statusWord.TestBit(17), !statusWord.TestBit(19),
    };
    unsigned changed = 0;
    for (int i = 0; i < LineCount; ++i) {
        Line& line = lines_[i];
        if (good[i] != line.green) {
            line.green = good[i];
            std::swap(line.caption, line.spare);
            changed |= 1U << i;
        }
    }
    Line& comm = lines_[0];
    QString& goodText = comm.green ? comm.caption : comm.spare;
    const QString wanted = powerCyclePending ? QStringLiteral("Power Cycle Pending")
                                             : QString::fromLatin1(Texts[0].good);
    if (goodText != wanted) {
        goodText = wanted;
        changed |= comm.green ? 1U : 0U;
    }
    const QLocale locale;
    errorTexts_[0] = FormatNumber(rxErrors[0], u"#,##0", locale);
    errorTexts_[1] = FormatNumber(rxErrors[1], u"#,##0", locale);
    errorTexts_[2] = FormatNumber(txErrors[0], u"#,##0", locale);
    portStatus_ = stateFlags.TestBit(4) ? portDescription + QStringLiteral(" Open")
                                        : QStringLiteral("Error - ") + portDescription;
    return changed;
}

const cCommStatus::Line& cCommStatus::line(int index) const {
    if (index < 0 || index >= LineCount) {
        throw SubscriptOutOfRange("status line", index, 0, LineCount - 1);
    }
    return lines_[index];
}

const QString& cCommStatus::errorText(int index) const {
    if (index < 0 || index >= static_cast<int>(errorTexts_.size())) {
        throw SubscriptOutOfRange("error counter text", index, 0, 2);
    }
    return errorTexts_[index];
}

} // namespace kelvar
