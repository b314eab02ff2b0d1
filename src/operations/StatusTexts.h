#pragma once

#include <array>

namespace kelvar {

// The two texts of a light or status field (shown on green, shown on red)
// and its tool tip.
struct IndicatorTexts {
    const char* on;
    const char* off;
    const char* toolTip;
};

// The lines of the status and control byte panel, by status-word bit: bits 0
// to 7 are the status byte, 8 to 15 the control byte.
inline constexpr std::array<IndicatorTexts, 16> StatusBitTexts = {{
    {"Zevir OK", "Zevir BAD", "Green = Zevir OK, Red = Bad"},
    {"In Position", "In Motion", "Green = In Position, Red = In Motion"},
    {"System OK", "System BAD", "Green = System OK, Red = Bad"},
    {"Within Limits*", "OverTravel", "Green = Within Limits, Red = Over Travel"},
    {"Null OK", "Null BAD", "Green = Null OK, Red = Bad"},
    {"Positive Position*", "Negative Position", "Green = Pos. Position, Red = Neg. Position"},
    {"ON", "OFF", "Green = On, Red = Off"},
    {"Motion Enabled", "Motion Disabled", "Green = Motion Enabled Off, Red = Motion Disabled"},
    {"On", "Off", "Green = ON, Red = OFF"},
    {"On", "Off", "Green = On, Red = OFF"},
    {"Power OK", "Power Bad", "Green = Power OK, Red = Bad"},
    {"On", "Off", "Green =  OFF, Red = ON"},
    {"Jog Active", "Jog Inactive", "Green = Jog Active, Red = Jog Inactive"},
    {"Input 2 On", "Input 2 Off", "Green = Input 2 On, Red = Input 2 Off"},
    {"Write Enabled", "Write Disabled", "Green = Write Enabled, Red = Write Disabled"},
    {"Air Cylinder", "Hydraulic Cylinder", "Green = Air Cylinder, Red = Hydraulic Cylinder"},
}};

// The status strip beside the tabs, field by field.
inline constexpr std::array<IndicatorTexts, 10> StatusStripTexts = {{
    {"COMM OK", "NO COMM", "Indicates the communications status with the sensor"},
    {"IN POSITON", "IN MOTION", "Indicates whether the sensor is In Position or In Motion"},
    {"INSIDE LIMITS", "OVERTRAVEL",
     "Indicates that current position is inside the sensor's limits "},
    {"NULL OK", "NULL BAD", "Indicates whether the sensor Null is OK or Bad"},
    {"ZEVIR OK", "ZEVIR BAD", "Indicates whether the sensor's Vudivozuve electronics is OK or Bad"},
    {"MOTION ENABLED", "MOTION DISABLED",
     "Indicates whether motion control is enabled or disabled"},
    {"INPUT 2 ON", "INPUT 2 OFF", "Indicates whether Input 2 is On or Off"},
    {"POSITION OK", "NEG POSITION", "Indicates the sensor's position is OK or negative"},
    {"ON-LINE", "OFF-LINE", "Indicates the status of the sensor"},
    {"", "", "Indicates the sensor's operational mode"},
}};

} // namespace kelvar
