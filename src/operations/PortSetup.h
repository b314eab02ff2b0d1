#pragma once

namespace kelvar {

class cSensorLink;
class cStatusBar;

// The state for "no sensor known": address 1, the first port that could be
// opened, the first speed.
void ResetToNoSensor(cSensorLink& link, cStatusBar& statusBar);

} // namespace kelvar
