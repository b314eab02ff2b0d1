// Arbitrary bytes on the line while a request waits for its answer. The
// first byte picks the address asked; the rest arrives as the port's data.
//
// Checked besides memory safety: an answer counts only when its CRC holds
// and it comes from the address asked with the letter of the request; the
// identity buffer never passes its end; an accepted frame framed again gives
// the same characters.

#include "Fuzzing.h"
#include "link/Framing.h"
#include "link/SensorLink.h"
#include "model/SensorData.h"
#include "sim/SimSerialPort.h"
#include "support/WhileWaiting.h"

#include <QCoreApplication>

using namespace kelvar;

namespace {

[[noreturn]] void Violated(const char* what, const QByteArray& frame) {
    fuzz::Violated(what, "frame", frame);
}

struct Harness {
    Harness() : port(network, {QStringLiteral("line")}), link(port) {
        InitParameterTable(sensor);
        link.Decoder().setSensor(&sensor);
        link.PortNames.setDevice(1, QStringLiteral("line"));
        link.OpenPort(1, 0);
        link.PacketTimeout = 0;
    }

    // No sensor on this line: only the fuzzer's bytes answer.
    sim::SimNetwork network;
    sim::SimSerialPort port;
    cSensorLink link;
    clsSensorData sensor;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::NeedApplication();
    static Harness harness;
    if (size == 0) {
        return 0;
    }
    cSensorLink& link = harness.link;
    const int address = 1 + data[0] % MaxAddress;
    const QByteArray line(reinterpret_cast<const char*>(data) + 1,
                          static_cast<qsizetype>(size - 1));

    test::WhileWaiting(link, [line] { harness.link.ReceiveChars(line); });
    const auto outcome = link.SendCommand("A", address).outcome;
    QCoreApplication::processEvents();

    const QByteArray frame = link.LastAnswer();
    if (link.ReplyValid()) {
        if (outcome != cSensorLink::Outcome::Answered) {
            Violated("valid reply but not answered", frame);
        }
        if (!FrameCrcMatches(frame)) {
            Violated("accepted with a bad CRC", frame);
        }
        if (frame.isEmpty() || frame.at(0) != AddressLetter(address)) {
            Violated("accepted from another address", frame);
        }
        if (frame.size() < 2 || frame.at(1) != 'A') {
            Violated("accepted an answer to another request", frame);
        }
        const QByteArray reframed = FrameResponse(frame.chopped(CrcDigits));
        const QByteArray upperCrc = frame.chopped(CrcDigits) + frame.right(CrcDigits).toUpper();
        if (reframed.mid(1, reframed.size() - 2) != upperCrc) {
            Violated("accepted frame does not frame again the same", frame);
        }
    }
    if (link.Decoder().IdentityFillCount() > cResponseDecoder::IdentityItems) {
        Violated("identity buffer overrun", frame);
    }
    if (link.AwaitingReply()) {
        Violated("transaction left waiting", frame);
    }
    return 0;
}
