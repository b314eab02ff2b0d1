// Arbitrary text as the two kinds of argument that name hardware: a port
// mapping ("N=DEVICE", before the first NUL byte) and a simulated sensor
// ("ADDR[:BAUD][,key=value]...", after it), each as UTF-8.
//
// Checked besides memory safety: a mapping taken names a port 1 to 16 and a
// device that is not empty, and that port then goes to that device; a
// mapping refused leaves the names as they were. A sensor taken has an
// address 1 to 26, a speed the sensors use and nothing else the simulator
// would refuse, and its identity record is 54 printable characters.

#include "Fuzzing.h"
#include "link/Framing.h"
#include "link/PortNames.h"
#include "sim/SensorConfig.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

using namespace kelvar;

namespace {

constexpr qint32 SensorSpeeds[] = {115200, 57600, 38400, 19200};

void CheckMapping(const QString& text) {
    cPortNames names;
    const QString error = names.addMapping(text);
    const QMap<int, QString>& devices = names.explicitDevices();
    if (!error.isEmpty()) {
        if (!devices.isEmpty()) {
            fuzz::Violated("a refused mapping was stored", "mapping", text.toUtf8());
        }
        return;
    }
    if (devices.size() != 1) {
        fuzz::Violated("a mapping taken stored other than one port", "mapping", text.toUtf8());
    }
    const int port = devices.firstKey();
    if (port < MinPortNumber || port > MaxPortNumber) {
        fuzz::Violated("a mapping taken names a port outside 1 to 16", "mapping", text.toUtf8());
    }
    if (devices.first().isEmpty()) {
        fuzz::Violated("a mapping taken names no device", "mapping", text.toUtf8());
    }
    if (names.deviceFor(port) != devices.first()) {
        fuzz::Violated("a mapped port goes elsewhere", "mapping", text.toUtf8());
    }
}

void CheckSensor(const QString& text) {
    const sim::ParsedSensorText parsed = sim::ParseSensorText(text);
    if (!parsed.ok()) {
        return;
    }
    const sim::SensorConfig& config = parsed.config;
    if (config.address < MinAddress || config.address > MaxAddress) {
        fuzz::Violated("a sensor taken has an address outside 1 to 26", "sensor", text.toUtf8());
    }
    if (std::find(std::begin(SensorSpeeds), std::end(SensorSpeeds), config.baud) ==
        std::end(SensorSpeeds)) {
        fuzz::Violated("a sensor taken has a speed the sensors do not use", "sensor",
                       text.toUtf8());
    }
    if (!config.problem().isEmpty()) {
        fuzz::Violated("a sensor taken has a problem", "problem", config.problem().toUtf8());
    }
    const QByteArray record = config.identityRecord();
    if (record.size() != sim::IdentityRecordLength ||
        !std::all_of(record.begin(), record.end(), [](char c) { return c >= ' ' && c <= '~'; })) {
        fuzz::Violated("a sensor taken has a malformed identity record", "record", record);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::NeedApplication();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype nul = bytes.indexOf('\0');
    CheckMapping(QString::fromUtf8(bytes.left(nul < 0 ? bytes.size() : nul)));
    CheckSensor(QString::fromUtf8(nul < 0 ? QByteArray() : bytes.sliced(nul + 1)));
    return 0;
}
