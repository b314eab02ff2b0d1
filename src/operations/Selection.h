#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace kelvar {

class cSession;
class clsSensorList;

// True when the list holds more than one sensor and one of them answers on
// this port, at this speed, at this address. The list's current sensor is
// the same afterwards.
bool IsAddressInUse(clsSensorList& sensors, int port, int baudRate, int address);

// What the sensor selector shows.
struct SensorSelectorState {
    QStringList entries;
    int selected = 0;
    bool enabled = false;
    QString frameCaption;
    QString sensorLabel;
};

// Choosing the sensor to work with, its network address and its name.
class cSensorSelection : public QObject {
    Q_OBJECT
public:
    static QString NameHint();        // below the name field
    static QString NameEditingHint(); // while the name field has the focus

    // saveSettings writes the persistent settings; it may move the sensor
    // list's current sensor.
    cSensorSelection(cSession& session, std::function<void()> saveSettings,
                     QObject* parent = nullptr);

    // Set once the window has finished loading; the selectors do nothing before.
    bool FormReady = false;

    // Rebuilds the selector from the sensor list; runs whenever the session
    // reports a changed list. The current sensor stays current and selected.
    void FillSensorSelector();
    const SensorSelectorState& Selector() const { return selector_; }

    // The user picked entry `index` of the sensor selector.
    void SelectSensor(int index);
    // The user picked entry `index` (address index + 1) of the address selector.
    void SelectAddress(int index);

    // The name field: focus arrived, Tab or Enter, focus left.
    void BeginNameEdit();
    void StoreSensorName(const QString& text);
    void EndNameEdit(const QString& text);
    const QString& NameHintShown() const { return nameHint_; }

signals:
    void selectorChanged();
    // The address selector must show this entry again.
    void addressSelected(int index);
    // An edited value changed: parameter fields and the Apply button follow.
    void settingsEdited();
    void nameHintChanged();

private:
    enum class Reach { PortClosed, Silent, Answered };

    void SwitchTo(int chosen, int previous);
    Reach ReachCurrentSensor();
    void ConnectCurrentSensor();
    void RestorePrevious(int previous);
    void ShowCurrentSelected();
    void SetNameHint(const QString& hint);

    cSession& session_;
    std::function<void()> saveSettings_;
    SensorSelectorState selector_;
    QString nameHint_;
    bool switching_ = false;
};

} // namespace kelvar
