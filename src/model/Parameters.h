#pragma once

namespace kelvar {

// Parameter numbers the program refers to by meaning. A parameter's number is
// also its register in the sensor's read and write commands.
namespace Param {
inline constexpr int VelocityEnable = 12;
inline constexpr int AutoNullEnable = 16;
inline constexpr int AutoNullWindow = 17;
inline constexpr int JogIncrement = 18;
inline constexpr int JogMaximum = 19;
inline constexpr int DrivePolarity = 20;
inline constexpr int MinimumTravel = 30;
inline constexpr int MaximumTravel = 31;
inline constexpr int InPositionWindow = 32;
inline constexpr int ZeroAdjust = 33;
inline constexpr int SensorLength = 35;
inline constexpr int ReadoutDirection = 41;
inline constexpr int Address = 55;
inline constexpr int BaudRate = 56;
inline constexpr int NullZero = 57;
inline constexpr int EnableMode = 58;
inline constexpr int CylinderType = 59;
inline constexpr int LoopTime = 60;
inline constexpr int RunMode = 61;
inline constexpr int OutputMode = 62;
inline constexpr int JogVelocity = 65;
} // namespace Param

} // namespace kelvar
