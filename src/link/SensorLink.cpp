#include "link/SensorLink.h"

#include "link/Framing.h"
#include "model/Numbers.h"
#include "model/Speeds.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLocale>
#include <QThread>
#include <QTimer>
#include <algorithm>

namespace kelvar {

namespace {

// Longer than any request the program sends between STX and ETX.
constexpr qsizetype MaxEchoChars = 40;

// Address 1 to 26, or 0 for a letter of no address.
std::size_t AddressIndex(char addressLetter) {
    const int address = addressLetter - 'a' + 1;
    return static_cast<std::size_t>(address >= MinAddress && address <= MaxAddress ? address : 0);
}

// Every byte of a request between STX and ETX must be printable ASCII: a
// control character would break the framing and the sensors know nothing
// above 0x7E.
bool PacketIsSendable(const QByteArray& packet) {
    if (IsEmptyOrNul(packet)) {
        return false;
    }
    const QByteArrayView body = QByteArrayView(packet).sliced(1, packet.size() - 2);
    return std::all_of(body.begin(), body.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

} // namespace

cSensorLink::cSensorLink(cSerialPort& port, QObject* parent)
    : QObject(parent), port_(port), decoder_(StatusWord) {
    connect(&port_, &cSerialPort::portEvent, this, &cSensorLink::onPortEvent);
    intervalTimer_.StartTimer();
    lineClock_.start();
}

cSensorLink::~cSensorLink() {
    port_.disconnect(this);
}

namespace {

int ValidPosition(int position) {
    return position >= 0 && position < cSensorLink::SelectorPositions ? position : 0;
}

} // namespace

void PauseProcessingEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void cSensorLink::SelectTimeout(int position) {
    PacketTimeout = FirstTimeout + SelectorStep * ValidPosition(position);
    emit timeoutSelected(PacketTimeout);
}

void cSensorLink::SelectInterval(int position) {
    PacketInterval = SelectorStep * ValidPosition(position);
    emit intervalSelected(PacketInterval);
}

bool cSensorLink::OpenPort(int port, int speedIndex) {
    StateFlags.ClearBit(StateBit::PortOpen);
    port_.close();
    CurrentPort = port;
    BaudIndex = ValidSpeedIndex(speedIndex);
    openedPort_ = port;
    openedSpeed_ = BaudIndex;
    emit portSelected();
    const bool opened = !closedForGood_ &&
                        port_.open(PortNames.deviceFor(port), SpeedTable[BaudIndex].baud) &&
                        port_.isOpen();
    lineEchoes_ = false;
    if (opened) {
        StateFlags.SetBit(StateBit::PortOpen);
        portErrorText_.clear();
    } else {
        portErrorText_ = port_.failureText();
    }
    portErrors_[PortSlot(port)] = portErrorText_;
    emit portStateChanged();
    return opened;
}

std::size_t cSensorLink::PortSlot(int port) {
    // Slot 0 holds what belongs to no port number.
    return static_cast<std::size_t>(port >= MinPortNumber && port <= MaxPortNumber ? port : 0);
}

const QString& cSensorLink::PortError(int port) const {
    return portErrors_[PortSlot(port)];
}

void cSensorLink::ClosePort() {
    port_.close();
    StateFlags.ClearBit(StateBit::PortOpen);
}

void cSensorLink::CloseForGood() {
    closedForGood_ = true;
    ClosePort();
    if (waitLoop_ != nullptr) {
        waitLoop_->quit();
    }
}

QString cSensorLink::PortDescription() {
    BaudIndex = ValidSpeedIndex(BaudIndex);
    return QStringLiteral("Comm %1 @ %2K")
        .arg(CurrentPort)
        .arg(QLatin1String(SpeedTable[BaudIndex].speedText));
}

cSensorLink::Reply cSensorLink::SendCommand(QByteArrayView commandText, int address,
                                            std::optional<int> retries) {
    if (awaitingReply_) {
        return {Outcome::Busy, std::nullopt};
    }
    if (address < 1) {
        address = CurrentAddress;
    }
    if (address < MinAddress || address > MaxAddress) {
        return {Outcome::NotSent, std::nullopt};
    }
    const int mostRetries = std::clamp(retries.value_or(Retries), 0, MaxRetries);
    Outcome outcome = Outcome::NotSent;
    for (int retry = 0;; ++retry) {
        outcome = Transact(commandText, address, retry);
        const bool askAgain = outcome == Outcome::NoAnswer || outcome == Outcome::BadAnswer ||
                              outcome == Outcome::Doubtful;
        if (!askAgain || retry >= mostRetries || !PortIsOpen()) {
            break;
        }
        ++StatisticsFor(AddressLetter(address)).retries;
    }
    // Each asking forgets what the one before took: the answer is the last
    // asking's own.
    return {outcome, outcome == Outcome::Answered ? taken_ : std::nullopt};
}

cSensorLink::Outcome cSensorLink::Transact(QByteArrayView commandText, int address, int retry) {
    const char letter = AddressLetter(address);
    // A late answer from another address cannot pass for this one's: only a
    // request to the sensor that was late or garbled waits for quiet first.
    if (recoveryAddress_ != 0 && recoveryAddress_ == letter &&
        StateFlags.TestBit(StateBit::PortOpen)) {
        Recover();
    }

    intervalTimer_.StopTimer();
    intervalMs_ = intervalTimer_.ElapsedTime() * 1000.0;
    packetTimer_.StartTimer();
    lastAnswer_.clear();
    taken_.reset();
    const QByteArray request = RequestText(FrameRequest(address, commandText));
    cLinkStatistics& statistics = StatisticsFor(letter);

    Outcome outcome = Outcome::PortFailed;
    qint64 answeredNs = 0;
    if (!StateFlags.TestBit(StateBit::PortOpen)) {
        StatusWord.SetBit(LinkBit::NoAnswer);
        awaitingReply_ = false;
    } else {
        lastSendTick_ = TickCount();
        awaitingReply_ = true;
        portLostDuringWait_ = false;
        const QByteArray packet = FrameRequest(address, commandText);
        txText_ = request;
        expectedAddress_ = commandText.startsWith('#') ? 0 : letter;
        expected_ = AnswerExpectation::For(commandText);
        Exchange exchange;
        exchange.address = letter;
        exchange.expected = expected_;
        exchange.command = commandText.toByteArray();
        exchange.sentNs = lineClock_.nsecsElapsed();
        exchange.rxAtSend = rxBytes_;
        exchange.request = request;
        echoHeard_ = false;
        answerBeforeEcho_ = false;
        transacting_ = true;

        if (!PacketIsSendable(packet)) {
            StatusWord.SetBit(LinkBit::TxErrorCounted);
            StatusWord.SetBit(LinkBit::TxError2);
            awaitingReply_ = false;
            outcome = Outcome::NotSent;
        } else if (!port_.write(packet)) {
            // The driver took nothing: a transmit error, and no answer can come.
            StatusWord.SetBit(LinkBit::TxLineError);
            StatusWord.SetBit(LinkBit::NoAnswer);
            awaitingReply_ = false;
            LosePort(QStringLiteral("%1 would not take the request").arg(port_.deviceName()));
        } else if (++statistics.requests;
                   !WaitForAnswer(QDeadlineTimer(PacketTimeout, Qt::PreciseTimer))) {
            StatusWord.SetBit(LinkBit::NoAnswer);
            awaitingReply_ = false;
            if (!portLostDuringWait_) {
                outcome = Outcome::NoAnswer;
                ++statistics.timeOuts;
                recoveryAddress_ = letter;
                emit requestTimedOut(commandText.toByteArray());
            }
        } else {
            answeredNs = lineClock_.nsecsElapsed();
            StatusWord.ClearBit(LinkBit::NoAnswer);
            if (PacketInterval > 0) {
                // The pause lets a slow sensor turn its line around; nothing
                // else may run in it, so it sleeps instead of serving events.
                QThread::msleep(static_cast<unsigned long>(PacketInterval));
            }
            outcome = taken_ ? Outcome::Answered : Outcome::BadAnswer;
            if (taken_) {
                ++statistics.answers;
                lastHeard_[AddressIndex(letter)] = lastAnswer_;
            } else {
                FrameCrcMatches(lastAnswer_) ? ++statistics.unknownAnswers : ++statistics.crcErrors;
                recoveryAddress_ = letter;
            }
        }
        transacting_ = false;
        // On a line that hands our requests back, each one comes back before
        // its answer: a frame taken without that was on the line before it.
        if (outcome == Outcome::Answered && lineEchoes_ && (!echoHeard_ || answerBeforeEcho_)) {
            outcome = Outcome::Doubtful;
            ++statistics.doubted;
            recoveryAddress_ = letter;
        }
        if (outcome != Outcome::NotSent && outcome != Outcome::PortFailed) {
            exchange.endNs = lineClock_.nsecsElapsed();
            exchange.rxAtEnd = rxBytes_;
            exchange.answered = outcome == Outcome::Answered;
            exchange.echoHeard = echoHeard_;
            exchanges_.push_back(exchange);
            if (exchanges_.size() > ExchangesKept) {
                exchanges_.pop_front();
            }
            // A retry follows a fault on the line: its answer counts only once
            // nothing else from the sensor follows it.
            if (outcome == Outcome::Answered && (retry > 0 || settleEach_) &&
                !SettleAfterAnswer()) {
                outcome = Outcome::Doubtful;
                recoveryAddress_ = letter;
            }
            // From the request to its answer: the pause and the wait for a
            // quiet line after it are not the sensor's.
            if (outcome == Outcome::Answered) {
                statistics.AddRoundTrip(static_cast<double>(answeredNs - exchange.sentNs) / 1e6);
            }
        }
    }

    packetTimer_.StopTimer();
    packetMs_ = packetTimer_.ElapsedTime() * 1000.0;
    intervalTimer_.StartTimer();
    emit exchanged();
    emit transactionEnded(request, lastAnswer_, outcome, retry);
    RefreshStatus();
    return outcome;
}

bool cSensorLink::SettleAfterAnswer() {
    settlingAddress_ = exchanges_.back().address;
    settleDoubted_ = false;
    WaitForQuiet();
    settlingAddress_ = 0;
    if (settleDoubted_) {
        return false;
    }
    exchanges_.back().settled = true;
    return true;
}

void cSensorLink::Settle() {
    if (!PortIsOpen() || exchanges_.empty()) {
        return;
    }
    const Exchange& last = exchanges_.back();
    const qint64 quietNs = qint64{PacketTimeout} * 1'000'000;
    if (rxBytes_ == last.rxAtEnd && lineClock_.nsecsElapsed() - last.endNs >= quietNs) {
        return;
    }
    WaitForQuiet();
}

void cSensorLink::WaitForQuiet() {
    // A time-out without a byte: a sensor that answers a little late has had
    // its say by then. A line that never goes quiet is given up on after a
    // bounded time, so the program never hangs on it.
    const int quietMs = PacketTimeout;
    QDeadlineTimer giveUp(10 * quietMs, Qt::PreciseTimer);
    quint64 seen = 0;
    do {
        seen = rxBytes_;
        PauseProcessingEvents(quietMs);
    } while (rxBytes_ != seen && !giveUp.hasExpired() && StateFlags.TestBit(StateBit::PortOpen));
}

cLinkStatistics& cSensorLink::StatisticsFor(char addressLetter) {
    return statistics_[AddressIndex(addressLetter)];
}

const cLinkStatistics& cSensorLink::Statistics(int address) const {
    return statistics_[AddressIndex(AddressLetter(address))];
}

void cSensorLink::ResetStatistics() {
    statistics_.fill({});
}

// The deadline runs on a 64-bit monotonic clock: no wrap of a tick counter
// can make it strike early or never.
bool cSensorLink::WaitForAnswer(const QDeadlineTimer& deadline) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    waitLoop_ = &loop;
    while (awaitingReply_ && !portLostDuringWait_) {
        if (deadline.hasExpired()) {
            // An answer that has landed by now still counts: let it in first.
            QCoreApplication::processEvents();
            break;
        }
        // Whole milliseconds, rounded up: the wait never ends early.
        timer.start(static_cast<int>((deadline.remainingTimeNSecs() + 999'999) / 1'000'000));
        loop.exec();
    }
    waitLoop_ = nullptr;
    return !awaitingReply_ && !portLostDuringWait_;
}

void cSensorLink::EndWait() {
    awaitingReply_ = false;
    if (waitLoop_ != nullptr) {
        waitLoop_->quit();
    }
}

void cSensorLink::Discard(const QByteArray& frame) {
    ++discardedAnswers_;
    recoveryAddress_ = frame.at(0);
    emit answerDiscarded(frame);
    if (FrameCrcMatches(frame)) {
        OnStrayFrame(frame);
    }
}

void cSensorLink::OnStrayFrame(const QByteArray& frame) {
    const char address = frame.at(0);
    cLinkStatistics& statistics = StatisticsFor(address);
    QByteArray& lastHeard = lastHeard_[AddressIndex(address)];
    frame == lastHeard ? ++statistics.repeatedAnswers : ++statistics.lateAnswers;
    lastHeard = frame;
    if (settlingAddress_ == address) {
        settleDoubted_ = true;
    }
    // Answers carry no request number: a stray frame means that one frame
    // more came than was asked for, and every answer taken since the line was
    // last quiet that it could pass for may be a neighbour's. They form an
    // unbroken run of exchanges with this sensor that expected this kind of
    // answer; anything else in between would have shown the stray at once.
    const qint64 quietNs = qint64{PacketTimeout} * 1'000'000;
    QList<QByteArray> doubted;
    for (auto it = exchanges_.rbegin(); it != exchanges_.rend(); ++it) {
        if (it->address != address || !it->answered || it->settled ||
            !it->expected.Matches(frame)) {
            break;
        }
        it->answered = false;
        ++statistics.doubted;
        // The exchange waiting for a quiet line is asked again by its own
        // request; the others are named.
        if (settlingAddress_ != address || it != exchanges_.rbegin()) {
            doubted.prepend(it->command);
        }
        const auto before = std::next(it);
        if (before != exchanges_.rend() && before->rxAtEnd == it->rxAtSend &&
            it->sentNs - before->endNs >= quietNs) {
            break;
        }
    }
    if (!doubted.isEmpty()) {
        emit answersDoubted(static_cast<int>(AddressIndex(address)), doubted);
    }
}

void cSensorLink::HandleEcho(const QByteArray& bytes) {
    // Only a request of ours heard back is an echo; anything else between
    // STX and ETX is noise and counts for nothing.
    if (transacting_ && bytes == txText_ && !echoHeard_) {
        echoHeard_ = true;
        lineEchoes_ = true;
        ++StatisticsFor(bytes.front()).echoesSkipped;
        emit echoSkipped(bytes);
        // An answer taken before its own request came back was a leftover.
        answerBeforeEcho_ = !awaitingReply_;
        return;
    }
    // An echo heard after later requests were sent: the answer taken for
    // its request was put in doubt then, for want of it.
    for (auto it = exchanges_.rbegin(); it != exchanges_.rend(); ++it) {
        if (it->request == bytes && !it->echoHeard) {
            it->echoHeard = true;
            ++StatisticsFor(bytes.front()).echoesSkipped;
            emit echoSkipped(bytes);
            return;
        }
    }
}

void cSensorLink::Recover() {
    WaitForQuiet();
    rxSlots_.clear();
    rxActive_ = false;
    echoActive_ = false;
    rxIndex_ = 1;
    recoveryAddress_ = 0;
}

void cSensorLink::ReceiveChars(QByteArrayView text) {
    rxBytes_ += static_cast<quint64>(text.size());
    if (rxIndex_ == 0) {
        rxIndex_ = 1;
    }
    for (const char c : text) {
        if (echoActive_) {
            if (c == ETX) {
                echoActive_ = false;
                HandleEcho(std::exchange(echo_, {}));
                continue;
            }
            if (c != STX && c != SOH && echo_.size() <= MaxEchoChars) {
                echo_.append(c);
                continue;
            }
            // Not a request after all: what follows is read as usual.
            echoActive_ = false;
            echo_.clear();
        }
        if (c == STX) {
            // A request on the line: our own, heard back on a two-wire line.
            rxSlots_.clear();
            rxActive_ = false;
            echoActive_ = true;
        } else if (c == ETX || rxIndex_ >= MaxFrameChars + 2) {
            rxActive_ = false;
            if (rxIndex_ < MaxFrameChars + 2) {
                ParsePacket();
            } else {
                // Too long to be an answer: drop it and wait for the next SOH.
                rxSlots_.clear();
                rxIndex_ = 1;
            }
        } else if (c == SOH) {
            rxSlots_.clear();
            rxIndex_ = 1;
            rxActive_ = true;
        } else if (rxActive_) {
            rxSlots_.append(c);
            ++rxIndex_;
        }
    }
}

void cSensorLink::ParsePacket() {
    const QByteArray frame = rxSlots_;
    rxSlots_.clear();
    lastFrame_ = frame;
    emit exchanged();
    if (!awaitingReply_) {
        // No request is waiting: a late answer to one that timed out. Its
        // values belong to a request that has been given up on.
        if (!frame.isEmpty()) {
            Discard(frame);
        }
        return;
    }
    if (IsEmptyOrNul(frame)) {
        EndWait();
        return;
    }
    lastAnswer_ = frame;
    if (!FrameCrcMatches(frame)) {
        StatusWord.SetBit(LinkBit::CrcError);
    } else if (expectedAddress_ != 0 && frame.at(0) != expectedAddress_) {
        // Another sensor's answer is not the answer: keep waiting for the
        // one asked, and count it as a receive error.
        StatusWord.SetBit(LinkBit::RxError2);
        emit otherAddressAnswered(frame);
        OnStrayFrame(frame);
        RefreshStatus();
        return;
    } else if (frame.size() >= 2 && GroupOf(frame.at(1)) != AnswerGroup::Unknown &&
               !expected_.Matches(frame)) {
        // The sensor asked, but answering an earlier request: keep waiting
        // for this one's own answer.
        Discard(frame);
        return;
    } else {
        taken_ = decoder_.Decode(frame);
        StatusWord.ClearBit(LinkBit::CrcError);
    }
    EndWait();
    RefreshStatus();
}

bool cSensorLink::CheckErrorCount() {
    using namespace LinkBit;
    if (StatusWord.TestBit(ResetCounters)) {
        StatusWord.mask(0x7C00FFFF, 0);
        rxErrors_.fill(0);
        txErrors_.fill(0);
        discardedAnswers_ = 0;
        StatusWord.ClearBit(RxErrorCounted);
        StatusWord.ClearBit(TxErrorCounted);
        return true;
    }
    StatusWord.ClearBit(RxErrorCounted);
    StatusWord.ClearBit(TxErrorCounted);
    const auto count = [this](ErrorCounters& counters, int index, int flagBit) {
        ++counters[index];
        ++counters[0];
        StatusWord.SetBit(flagBit);
    };
    if (StatusWord.TestBit(RxError2)) {
        count(rxErrors_, 2, RxErrorCounted);
    }
    if (StatusWord.TestBit(CrcError)) {
        count(rxErrors_, 1, RxErrorCounted);
    }
    if (StatusWord.TestBit(RxLineError)) {
        count(rxErrors_, 4, RxErrorCounted);
        StatusWord.ClearBit(RxLineError);
    }
    if (StatusWord.TestBit(NoAnswer)) {
        count(txErrors_, 2, TxErrorCounted);
    }
    if (StatusWord.TestBit(TxError2)) {
        count(txErrors_, 1, TxErrorCounted);
    }
    if (StatusWord.TestBit(TxLineError)) {
        count(txErrors_, 4, TxErrorCounted);
        StatusWord.ClearBit(TxLineError);
    }
    return !StatusWord.TestBit(RxErrorCounted) && !StatusWord.TestBit(TxErrorCounted);
}

void cSensorLink::RefreshStatus() {
    const bool frozen = StatusFrozen && StatusFrozen();
    // While frozen the counters stay as they are, but a request without a
    // good answer must still show: a silent sensor is never "OK".
    const bool healthy =
        frozen ? !StatusWord.TestBit(LinkBit::NoAnswer) && !StatusWord.TestBit(LinkBit::CrcError)
               : StateFlags.TestBit(StateBit::LinkHealthy);
    const bool commOk =
        StateFlags.TestBit(StateBit::PortOpen) && StateFlags.TestBit(StateBit::OnLine) && healthy;
    commOk ? StateFlags.SetBit(StateBit::CommOk) : StateFlags.ClearBit(StateBit::CommOk);
    if (frozen) {
        emit statusRefreshed();
        return;
    }
    if ((StatusWord.Map() & LinkBit::FlagMask) != lastLinkFlags_) {
        CheckErrorCount() ? StateFlags.SetBit(StateBit::LinkHealthy)
                          : StateFlags.ClearBit(StateBit::LinkHealthy);
    }
    lastLinkFlags_ = StatusWord.Map() & LinkBit::FlagMask;
    emit statusRefreshed();
}

void cSensorLink::FlagRefusedRequest() {
    StatusWord.SetBit(LinkBit::TxErrorCounted);
    StatusWord.SetBit(LinkBit::TxError2);
    RefreshStatus();
}

void cSensorLink::onPortEvent(PortEvent event) {
    switch (event) {
    case PortEvent::DataReceived:
        ReceiveChars(port_.readAll());
        break;
    case PortEvent::FramingError:
    case PortEvent::Overrun:
    case PortEvent::TransmitFull:
    case PortEvent::DeviceControlError:
        StatusWord.SetBit(LinkBit::TxLineError);
        break;
    case PortEvent::ReceiveOverflow:
    case PortEvent::ParityError:
        StatusWord.SetBit(LinkBit::RxLineError);
        break;
    case PortEvent::DeviceRemoved:
        if (awaitingReply_) {
            portLostDuringWait_ = true;
            if (waitLoop_ != nullptr) {
                waitLoop_->quit();
            }
        }
        LosePort(QStringLiteral("%1 was disconnected").arg(port_.deviceName()));
        break;
    }
}

void cSensorLink::LosePort(const QString& reason) {
    const bool wasOpen = StateFlags.TestBit(StateBit::PortOpen);
    port_.close();
    StateFlags.ClearBit(StateBit::PortOpen);
    if (wasOpen) {
        portErrorText_ = reason;
        portErrors_[PortSlot(openedPort_)] = reason;
        emit portStateChanged();
        emit portLost(portErrorText_);
    }
}

} // namespace kelvar
