#include "operations/PortSetup.h"

#include "link/SensorLink.h"
#include "operations/StatusBar.h"

namespace kelvar {

void ResetToNoSensor(cSensorLink& link, cStatusBar& statusBar) {
    link.CurrentAddress = 1;
    link.CurrentPort = link.AvailablePorts.FirstBit();
    if (link.CurrentPort >= 1 && link.CurrentPort <= PortOptionGroup::Size) {
        link.ChoosePortOption(link.CurrentPort - 1);
    }
    link.ChooseSpeedOption(0);
    statusBar.SetStatusTexts(QStringLiteral("Ready"), QStringLiteral("No Sensor"));
}

} // namespace kelvar
