#pragma once
// Command letters of the meter (byte 1 of a frame).

namespace kv::cmd {

constexpr char Live = 'A';
constexpr char Identify = 'K';
constexpr char PageStart = 'P';
constexpr char PageNext = 'p';
constexpr char PageRetry = 'r';      // download: after a failed page read (USB)
constexpr char PageBad = 'n';        // download: wrong check byte (serial)
constexpr char PageEnd = 'q';
constexpr char Recover = 'Q';
constexpr char KeyHold = 'H';
constexpr char KeyUnit = 'C';
constexpr char KeyRec = 'E';
constexpr char KeyRecall = 'R';
constexpr char KeyMma = 'M';
constexpr char KeyMmaLeave = 'N';
constexpr char KeyBackLight = 'B';
constexpr char KeyMem = 'm';
constexpr char SetClock = 't';
constexpr char EraseMemory = 'e';
constexpr char SetInterval = 'I';
constexpr char ReadInfo = 'X';
constexpr char WriteDefaults = 's';
constexpr char WriteCell = 'W';
constexpr char ReadCell = 'r';
constexpr char EraseLow = 'n';
constexpr char ReadCalibration1 = 'Y';
constexpr char ReadCalibration2 = 'Z';
constexpr char ReadSensor = 'v';

} // namespace kv::cmd
