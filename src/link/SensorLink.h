#pragma once

#include "link/HiResTimer.h"
#include "link/LinkStatistics.h"
#include "link/PortNames.h"
#include "link/ResponseDecoder.h"
#include "link/SerialPort.h"
#include "model/BitMap.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

class QDeadlineTimer;
class QEventLoop;

namespace kelvar {

// Receive and transmit error counters: 0 is the total.
using ErrorCounters = std::array<std::int32_t, 6>;

// StatusWord bits kept by the link.
namespace LinkBit {
inline constexpr int RxErrorCounted = 16;
inline constexpr int CrcError = 17;
inline constexpr int RxError2 = 18;
inline constexpr int TxErrorCounted = 19;
inline constexpr int TxError2 = 20;
inline constexpr int NoAnswer = 21;
inline constexpr int RxLineError = 22;
inline constexpr int TxLineError = 23;
inline constexpr int ResetCounters = 25;
inline constexpr std::int32_t FlagMask = 0x03FF0000; // bits 16 to 25
inline constexpr std::int32_t StartWord = 0x00800000;
} // namespace LinkBit

// StateFlags bits.
namespace StateBit {
inline constexpr int CommOk = 0;
inline constexpr int LinkHealthy = 1;
inline constexpr int PortAvailable = 3;
inline constexpr int PortOpen = 4;
inline constexpr int OnLine = 5;
inline constexpr int DataLoaded = 8;
inline constexpr int FullScan = 30;
} // namespace StateBit

// Waits `ms` milliseconds while the application's events run, without
// spinning the processor.
void PauseProcessingEvents(int ms);

// The request/response link to the sensors: one transaction at a time,
// framing, frame assembly, error flags and counters.
class cSensorLink : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        Answered,  // a good answer with a known letter
        BadAnswer, // an answer came, but with a CRC error or an unknown letter
        NoAnswer,  // nothing came for it before the time-out
        NotSent,   // the address or the command text cannot be sent
        Busy,      // another transaction is waiting for its answer
        // The port is not open, went away, or would not take the bytes:
        // no later request can fare better until it is opened again.
        PortFailed,
        // An answer came, but another frame from the same sensor followed it
        // before the line went quiet: it may belong to another request.
        Doubtful,
    };

    // How a request fared, and what its own answer said.
    struct Reply {
        Outcome outcome = Outcome::NotSent;
        // Only with Outcome::Answered: never a late, repeated or doubted
        // answer, nor one taken for another request.
        std::optional<DecodedAnswer> answer;
        bool answered() const { return outcome == Outcome::Answered; }
        bool operator==(const Reply&) const = default;
    };

    explicit cSensorLink(cSerialPort& port, QObject* parent = nullptr);
    ~cSensorLink() override;

    // --- link settings
    std::int32_t PacketTimeout = 25; // ms
    std::int32_t PacketInterval = 0; // ms
    // How often a request that got no answer, a bad one or a doubtful one is
    // asked again, after the line has gone quiet. Every request sets or gets
    // a value, so asking again is safe.
    static constexpr int DefaultRetries = 2;
    static constexpr int MaxRetries = 9;
    int Retries = DefaultRetries;
    int CurrentAddress = 0;
    int CurrentPort = 1;
    int BaudIndex = 0;
    cPortNames PortNames;

    clsBitMap StatusWord{LinkBit::StartWord};
    clsBitMap StateFlags;
    // Bit n: port n could be opened at the last port search.
    clsBitMap AvailablePorts;

    // --- the time-out and packet-delay selectors: 16 positions each
    static constexpr int SelectorPositions = 16;
    static constexpr int FirstTimeout = 25; // ms at position 0
    static constexpr int SelectorStep = 5;  // ms from one position to the next
    // A stored position outside 0 to 15 means position 0.
    void SelectTimeout(int position);
    void SelectInterval(int position);
    int TimeoutPosition() const { return (PacketTimeout - FirstTimeout) / SelectorStep; }
    int IntervalPosition() const { return PacketInterval / SelectorStep; }

    // --- port set-up
    // Makes port and speed current and opens them.
    bool OpenPort(int port, int speedIndex);
    void ClosePort();
    bool PortIsOpen() const { return StateFlags.TestBit(StateBit::PortOpen); }
    // The program is ending: the port closes and no flow may open it again.
    void CloseForGood();
    QString PortDescription();
    // Why the last open failed, or why the port was lost; empty otherwise.
    const QString& PortErrorText() const { return portErrorText_; }
    // The same for one port: why its last open failed or why it was lost;
    // empty when it opened, or was never tried.
    const QString& PortError(int port) const;
    // The port and speed of the last open, whether it opened or not: what
    // the port is to be opened with again.
    int OpenedPort() const { return openedPort_; }
    int OpenedSpeed() const { return openedSpeed_; }
    // The port's own settings (the RS-485 line driver) and what it has to say.
    cSerialPort& Port() { return port_; }

    // --- transactions
    // Address below 1 means the current sensor address. `retries` as given,
    // or as set in Retries.
    Reply SendCommand(QByteArrayView commandText, int address,
                      std::optional<int> retries = std::nullopt);
    // Waits until the line has been quiet for a time-out, so that a frame
    // still on its way (a late answer, a repeat) is seen and the answers it
    // puts in doubt are named (answersDoubted). Returns at once when the
    // line has been quiet that long already.
    void Settle();
    // While held, every answer is taken only once the line has been quiet
    // after it; a frame that follows makes the request doubtful, and it is
    // asked again.
    class SettledAnswers {
    public:
        explicit SettledAnswers(cSensorLink& link) : link_(link), was_(link.settleEach_) {
            link_.settleEach_ = true;
        }
        ~SettledAnswers() { link_.settleEach_ = was_; }
        SettledAnswers(const SettledAnswers&) = delete;
        SettledAnswers& operator=(const SettledAnswers&) = delete;

    private:
        cSensorLink& link_;
        bool was_;
    };
    void ReceiveChars(QByteArrayView text);
    bool CheckErrorCount();
    // The link part of the status refresh that follows every exchange.
    void RefreshStatus();
    // While this says so (a change that needs a power cycle is pending), the
    // status stays as it is: no flag is folded into the counters.
    std::function<bool()> StatusFrozen;
    // A request that could not be put on the wire as asked: the transmit
    // error flags are set (the second-kind flag keeps it counted until the
    // counters are reset).
    void FlagRefusedRequest();

    bool AwaitingReply() const { return awaitingReply_; }
    // The last transaction took an answer with a known letter.
    bool ReplyValid() const { return taken_.has_value(); }
    const QByteArray& TxText() const { return txText_; }
    // The characters of the last frame received, whether or not a request
    // waited for it.
    const QByteArray& LastFrame() const { return lastFrame_; }
    // The last frame received while the last transaction waited (the one
    // that ended the wait, unless another sensor's came after it); empty
    // when none came.
    const QByteArray& LastAnswer() const { return lastAnswer_; }
    std::uint32_t LastSendTick() const { return lastSendTick_; }
    double PacketMs() const { return packetMs_; }
    double IntervalMs() const { return intervalMs_; }
    // Answers that came for no waiting request (late answers to requests
    // that had timed out) and were thrown away; zeroed with the counters.
    int DiscardedAnswers() const { return discardedAnswers_; }
    const ErrorCounters& RxErrors() const { return rxErrors_; }
    const ErrorCounters& TxErrors() const { return txErrors_; }
    // Per sensor address 1 to 26, since the port was opened for it or the
    // statistics were last reset; an empty record for any other address.
    const cLinkStatistics& Statistics(int address) const;
    void ResetStatistics();

    cResponseDecoder& Decoder() { return decoder_; }

signals:
    // A request went out or a frame came.
    void exchanged();
    // The request got no answer in time (the port is still there).
    void requestTimedOut(const QByteArray& commandText);
    void timeoutSelected(int ms);
    void intervalSelected(int ms);
    // OpenPort made a port and speed current.
    void portSelected();
    // The port opened, closed or went away.
    void portStateChanged();
    void statusRefreshed();
    // The port went away while open; reported once per loss.
    void portLost(const QString& reason);
    // An answer that belongs to no waiting request was thrown away.
    void answerDiscarded(const QByteArray& frame);
    // While a request waited, a sensor other than the one asked answered.
    void otherAddressAnswered(const QByteArray& frame);
    // A request ended: its text (address letter, command, CRC), the frame
    // taken as its answer (empty when none came), the outcome, and which
    // retry of the request it was (0: the first asking).
    void transactionEnded(const QByteArray& request, const QByteArray& answer, Outcome outcome,
                          int retry);
    // Our own request came back before its answer (a two-wire adapter
    // without echo suppression) and was skipped.
    void echoSkipped(const QByteArray& request);
    // A frame from `address` came after the answers to these requests were
    // taken and before the line went quiet: any of them may hold another
    // request's answer. Oldest first; command texts as sent.
    void answersDoubted(int address, const QList<QByteArray>& commands);

private:
    // One exchange on the line, kept for telling which answers a stray
    // frame may have displaced.
    struct Exchange {
        char address = 0;
        AnswerExpectation expected;
        QByteArray command;
        qint64 sentNs = 0;
        qint64 endNs = 0;
        quint64 rxAtSend = 0;
        quint64 rxAtEnd = 0;
        bool answered = false; // an answer was taken and is not in doubt
        bool settled = false;  // the line was quiet after it
        QByteArray request;    // as sent, to know its echo
        bool echoHeard = false;
    };
    static constexpr std::size_t ExchangesKept = 128;

    Outcome Transact(QByteArrayView commandText, int address, int retry);
    // A frame with a good CRC that no waiting request took.
    void OnStrayFrame(const QByteArray& frame);
    // Waits for a quiet line after the answer of the newest exchange; false
    // when a frame from its sensor came meanwhile.
    bool SettleAfterAnswer();
    // Pauses until no byte has come for a time-out (bounded).
    void WaitForQuiet();
    void HandleEcho(const QByteArray& bytes);
    cLinkStatistics& StatisticsFor(char addressLetter);
    void onPortEvent(PortEvent event);
    void ParsePacket();
    void EndWait();
    // The port failed under the program: it is closed and the reason kept.
    void LosePort(const QString& reason);
    static std::size_t PortSlot(int port);
    bool WaitForAnswer(const QDeadlineTimer& deadline);
    void Discard(const QByteArray& frame);
    // After a time-out or a bad frame: waits until the line has been quiet
    // for a while, so that a late answer cannot pass for the next one.
    void Recover();

    cSerialPort& port_;
    cResponseDecoder decoder_;
    QString portErrorText_;
    std::array<QString, MaxPortNumber + 1> portErrors_; // by PortSlot
    int openedPort_ = 0;
    int openedSpeed_ = 0;

    bool awaitingReply_ = false;
    std::optional<DecodedAnswer> taken_; // the answer the last transaction took
    bool portLostDuringWait_ = false;
    bool closedForGood_ = false;
    char recoveryAddress_ = 0; // the sensor to wait for quiet from; 0: none
    char expectedAddress_ = 0; // 0: any address may answer
    AnswerExpectation expected_;
    int discardedAnswers_ = 0;
    quint64 rxBytes_ = 0; // every byte received, for telling a quiet line
    QElapsedTimer lineClock_;
    std::deque<Exchange> exchanges_;
    bool settleEach_ = false;
    char settlingAddress_ = 0; // a sensor whose answer waits for a quiet line
    bool settleDoubted_ = false;
    bool transacting_ = false; // from a request's sending to the end of its wait
    bool echoHeard_ = false;   // the request now waiting was heard back
    bool answerBeforeEcho_ = false;
    bool lineEchoes_ = false;                      // the open port has handed a request back
    std::array<cLinkStatistics, 27> statistics_{}; // index: address; 0 for any other
    std::array<QByteArray, 27> lastHeard_{};       // the last good frame from each address
    bool echoActive_ = false;                      // between an STX heard back and its ETX
    QByteArray echo_;
    std::uint32_t lastSendTick_ = 0;
    QByteArray txText_;
    QByteArray lastAnswer_;
    QByteArray lastFrame_;
    double packetMs_ = 0;
    double intervalMs_ = 0;
    cHiResTimer packetTimer_;
    cHiResTimer intervalTimer_;
    QEventLoop* waitLoop_ = nullptr;

    QByteArray rxSlots_; // the characters of the frame being received
    int rxIndex_ = 0;
    bool rxActive_ = false;

    ErrorCounters rxErrors_{};
    ErrorCounters txErrors_{};
    std::int32_t lastLinkFlags_ = 0;
};

} // namespace kelvar
