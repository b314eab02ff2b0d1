#include "operations/CommStatus.h"

#include "link/Framing.h"
#include "model/Errors.h"
#include "model/Numbers.h"

#include <QLocale>

namespace kelvar {

static_assert(CommLineTexts.size() == cCommStatus::LineCount);

cCommStatus::cCommStatus() {
    for (int i = 0; i < LineCount; ++i) {
        lines_[i].caption = QString::fromLatin1(CommLineTexts[i].on);
        lines_[i].spare = QString::fromLatin1(CommLineTexts[i].off);
    }
    errorTexts_.fill(QStringLiteral("0"));
}

unsigned cCommStatus::Show(cSensorLink& link, bool powerCyclePending) {
    const clsBitMap& stateFlags = link.StateFlags;
    const clsBitMap& statusWord = link.StatusWord;
    const std::array<bool, LineCount> good = {
        stateFlags.TestBit(StateBit::CommOk),   stateFlags.TestBit(StateBit::DataLoaded),
        stateFlags.TestBit(StateBit::PortOpen), !statusWord.TestBit(LinkBit::RxErrorCounted),
        !statusWord.TestBit(LinkBit::CrcError), !statusWord.TestBit(LinkBit::TxErrorCounted),
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
                                             : QString::fromLatin1(CommLineTexts[0].on);
    if (goodText != wanted) {
        goodText = wanted;
        changed |= comm.green ? 1U : 0U;
    }
    const QLocale locale;
    errorTexts_[0] = FormatNumber(link.RxErrors()[0], u"#,##0", locale);
    errorTexts_[1] = FormatNumber(link.RxErrors()[1], u"#,##0", locale);
    errorTexts_[2] = FormatNumber(link.TxErrors()[0], u"#,##0", locale);
    const QString port = link.PortDescription();
    portStatus_ = stateFlags.TestBit(StateBit::PortOpen) ? port + QStringLiteral(" Open")
                                                         : QStringLiteral("Error - ") + port;
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

namespace {

QString Milliseconds(double ms, QStringView pattern) {
    return FormatNumber(ms, pattern, QLocale());
}

QStringList SelectorTexts(int first) {
    QStringList texts;
    for (int i = 0; i < cSensorLink::SelectorPositions; ++i) {
        const QString value = QString::number(first + cSensorLink::SelectorStep * i);
        texts.append(PadText(value, value.size() == 1 ? 6 : 5, u"R") + QStringLiteral(" mSec"));
    }
    return texts;
}

} // namespace

LinkDisplay DescribeLink(const cSensorLink& link) {
    LinkDisplay d;
    d.txData = QString::fromLatin1(link.TxText());
    d.rxData = QString::fromLatin1(link.LastFrame());
    d.packetTime = Milliseconds(link.PacketMs(), u"#.0") + QStringLiteral(" msec");
    d.intervalTime = Milliseconds(link.IntervalMs(), u"#.0") + QStringLiteral(" msec");
    d.infoDelay = Milliseconds(link.IntervalMs(), u"#.0");
    d.infoPacketTime = Milliseconds(link.PacketMs(), u"#.#");
    d.infoTimeout = QString::number(link.PacketTimeout);
    return d;
}

QStringList TimeoutSelectorTexts() {
    return SelectorTexts(cSensorLink::FirstTimeout);
}

QStringList IntervalSelectorTexts() {
    return SelectorTexts(0);
}

QString CommandErrorText(QByteArrayView commandText) {
    return QStringLiteral("Error on Command: ") +
           QString::fromLatin1(commandText.first(std::min<qsizetype>(1, commandText.size())));
}

} // namespace kelvar
