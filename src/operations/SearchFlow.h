#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace kelvar {

class cSession;

// Finding the serial ports and the sensors on them.
class cSearchFlow : public QObject {
    Q_OBJECT
public:
    explicit cSearchFlow(cSession& session);

    // "/ex": the port search starts at port 2.
    bool ExcludePort1() const { return excludePort1_; }
    void SetExcludePort1(bool exclude) { excludePort1_ = exclude; }
    void FindPorts();
    // Why the ports the last port search could not open failed, one line
    // each ("Comm 1: /dev/ttyUSB0 does not exist").
    const QStringList& PortFailures() const { return portFailures_; }
    // The state for "no sensor known": address 1, the first port that could
    // be opened, the first speed.
    void ResetToNoSensor();
    bool VerifySensorList();
    void ScanPort();
    void FullScan();
    // Searches `port` at every speed, adding the sensors found to the list;
    // none of them is read. `opened` hears of each speed the port opened at,
    // before it is searched; `progress` of each address before it is asked.
    void SearchEverySpeed(int port, const std::function<void()>& opened,
                          const std::function<void(int)>& progress);
    // "Apply and Test Settings": the chosen port and speed searched.
    void CommApply();

signals:
    // The sensor list changed: the selector is filled again.
    void sensorsChanged();
    // A port option turned green (a sensor answered on it) or black again.
    void portOptionsChanged();

private:
    void RecordFoundSensor(int port, int speedIndex, int address);
    // Asks every address of the open port whether a sensor answers there;
    // `progress` hears each address before it is asked.
    void SearchAddresses(int port, int speedIndex, const std::function<void(int)>& progress);
    // A search starts from an empty list, off line.
    void ForgetSensors();
    // After a search: the list's current sensor is opened and read.
    void OpenFoundSensor();

    cSession& session_;
    bool excludePort1_ = false;
    QStringList portFailures_;
    // Serial number to name, of the sensors known before a search.
    QHash<QString, QString> knownNames_;
};

} // namespace kelvar
