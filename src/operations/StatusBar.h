#pragma once

#include <QObject>
#include <QString>
#include <array>

namespace kelvar {

class cSensorLink;
class clsSensorList;

// The window's status bar without its widgets: panel 1 the message, 2 the
// sensor, 3 the port, 4 the mode, and a progress bar that stands over
// panels 2 to 4 while a long job runs.
class cStatusBar : public QObject {
    Q_OBJECT
public:
    cStatusBar(cSensorLink& link, const clsSensorList& sensors, QObject* parent = nullptr);

    // Panels 1 to 4.
    const QString& Panel(int number) const;
    // Panels 1 and 2 in proper case; panel 3 from the port.
    void SetStatusTexts(const QString& message, const QString& sensor);
    void SetMessage(const QString& text);
    void SetMode(const QString& text);

    void StartProgress(int minimum, int maximum, const QString& text);
    // Clamps into the bar's range and returns the value set.
    int SetProgress(int value);
    void EndProgress(const QString& text);

    bool ProgressVisible() const { return progressVisible_; }
    int ProgressMinimum() const { return minimum_; }
    int ProgressMaximum() const { return maximum_; }
    int ProgressValue() const { return value_; }

signals:
    void changed();

private:
    cSensorLink& link_;
    const clsSensorList& sensors_;
    std::array<QString, 4> panels_;
    bool progressVisible_ = false;
    int minimum_ = 0;
    int maximum_ = 0;
    int value_ = 0;
};

} // namespace kelvar
