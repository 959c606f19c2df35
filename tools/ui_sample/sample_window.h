// A window with every control kind the toolkit offers, laid out the way the program lays
// out its own: each label shrunk to its text and the next control placed after it.
#pragma once

namespace kv::sample {

inline constexpr int SampleWindow = 0;
inline constexpr int SampleMenu = 0;
inline constexpr int SampleStatus = 0;
inline constexpr int PortList = 0;
inline constexpr int IntervalSpin = 1;
inline constexpr int LimitBox = 2;
inline constexpr int LimitFrame = 3;
inline constexpr int MinSpin = 4;
inline constexpr int MaxSpin = 5;
inline constexpr int Table = 6;
inline constexpr int ItemLog = 0, ItemExit = 1, ItemLowCpu = 2, ItemAbout = 6;

void BuildSampleWindow();
// Fills the table with readings, colours and a status text.
void FillSampleData();
// The row's temperature as a worker would write it, from any thread.
void WriteReading(int row, int tenths);

}  // namespace kv::sample
