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
    // The port line tells of the port and speed the options show: open only
    // when the port is open as chosen; an error only when that port failed.
    const bool chosenOpen = stateFlags.TestBit(StateBit::PortOpen) &&
                            link.CurrentPort == link.OpenedPort() &&
                            link.BaudIndex == link.OpenedSpeed();
    const bool chosenFailed = !link.PortError(link.CurrentPort).isEmpty();
    const std::array<bool, LineCount> good = {
        stateFlags.TestBit(StateBit::CommOk),
        stateFlags.TestBit(StateBit::DataLoaded),
        chosenOpen,
        !statusWord.TestBit(LinkBit::RxErrorCounted),
        !statusWord.TestBit(LinkBit::CrcError),
        !statusWord.TestBit(LinkBit::TxErrorCounted),
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
    // The texts that differ with the state: a pending power cycle, and a
    // port that is only closed rather than failed.
    const auto setText = [this, &changed](int index, bool good, const QString& wanted) {
        Line& line = lines_[static_cast<std::size_t>(index)];
        QString& text = line.green == good ? line.caption : line.spare;
        if (text != wanted) {
            text = wanted;
            changed |= line.green == good ? 1U << index : 0U;
        }
    };
    setText(0, true,
            powerCyclePending ? QStringLiteral("Power Cycle Pending")
                              : QString::fromLatin1(CommLineTexts[0].on));
    setText(PortLine, false,
            chosenFailed ? QString::fromLatin1(CommLineTexts[PortLine].off)
                         : QStringLiteral("Comm Port Closed"));
    const QLocale locale;
    errorTexts_[0] = FormatNumber(link.RxErrors()[0], u"#,##0", locale);
    errorTexts_[1] = FormatNumber(link.RxErrors()[1], u"#,##0", locale);
    errorTexts_[2] = FormatNumber(link.TxErrors()[0], u"#,##0", locale);
    const QString port = link.PortDescription();
    portStatus_ = chosenOpen     ? port + QStringLiteral(" Open")
                  : chosenFailed ? QStringLiteral("Error - ") + port
                                 : port + QStringLiteral(" Closed");
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
