// Identifiers of the main window's objects, shared by the shell (which builds the window)
// and the monitor (which writes into it without needing the window's code).
#pragma once

namespace kv {

inline constexpr int MainWindow = 0;
inline constexpr int MainMenu = 0;
inline constexpr int StatusLine = 0;

inline constexpr int PortSelector = 0;
inline constexpr int IntervalSpin = 1;
inline constexpr int LimitCheckBox = 2;
inline constexpr int LimitFrame = 3;
inline constexpr int MinSpin = 4;
inline constexpr int MaxSpin = 5;
inline constexpr int SensorTable = 6;

inline constexpr int MenuLog = 0;
inline constexpr int MenuExit = 1;
inline constexpr int MenuLowCpu = 2;
inline constexpr int MenuInvert = 3;
inline constexpr int MenuSeparatePolling = 4;
inline constexpr int MenuAbout = 6;
inline constexpr int MenuChart = 7;

// Columns of SensorTable.
inline constexpr int ColumnType = 0;
inline constexpr int ColumnSerial = 1;
inline constexpr int ColumnPower = 2;
inline constexpr int ColumnTemperature = 3;
inline constexpr int ColumnStatus = 4;

}  // namespace kv
