#include "operations/StatusBar.h"

#include "link/SensorLink.h"
#include "model/Errors.h"
#include "model/SensorList.h"
#include "model/Text.h"

#include <algorithm>

namespace kelvar {

cStatusBar::cStatusBar(cSensorLink& link, const clsSensorList& sensors, QObject* parent)
    : QObject(parent), link_(link), sensors_(sensors) {}

const QString& cStatusBar::Panel(int number) const {
    if (number < 1 || number > static_cast<int>(panels_.size())) {
        throw SubscriptOutOfRange("status bar panel", number, 1, 4);
    }
    return panels_[static_cast<std::size_t>(number - 1)];
}

void cStatusBar::SetStatusTexts(const QString& message, const QString& sensor) {
    panels_[0] = ProperCase(message);
    panels_[1] = ProperCase(sensor);
    panels_[2] = link_.PortDescription();
    emit changed();
}

void cStatusBar::SetMessage(const QString& text) {
    panels_[0] = text;
    emit changed();
}

void cStatusBar::SetMode(const QString& text) {
    panels_[3] = text;
    emit changed();
}

void cStatusBar::StartProgress(int minimum, int maximum, const QString& text) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    value_ = minimum_;
    progressVisible_ = true;
    panels_[0] = text;
    emit changed();
}

int cStatusBar::SetProgress(int value) {
    value_ = std::clamp(value, minimum_, maximum_);
    emit changed();
    return value_;
}

void cStatusBar::EndProgress(const QString& text) {
    progressVisible_ = false;
    if (sensors_.Count() > 0) {
        SetStatusTexts(QStringLiteral("Ready"), QStringLiteral("Sensor ") + sensors_.SensorText());
    } else {
        SetStatusTexts(QStringLiteral("Ready"), QStringLiteral("No Sensor"));
    }
    SetMessage(text);
}

} // namespace kelvar
