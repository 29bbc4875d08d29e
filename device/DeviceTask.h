#pragma once

#include <QByteArray>

#include <cstdint>

// One unit of work for the worker thread: a task code (what to do) and the
// command bytes that go with it (an AT command ready to send, a file path,
// or nothing, depending on the code).
struct DeviceTask {
    std::int32_t code = 0;
    QByteArray command;
};

// Task codes understood by the dispatcher.
namespace TaskCode {
inline constexpr std::int32_t ReadBack = 0;
inline constexpr std::int32_t AddAdminNumbers = 1;
inline constexpr std::int32_t AddAuthorisedNumbers = 2;
inline constexpr std::int32_t AddBackupNumbers = 3;
inline constexpr std::int32_t SaveAll = 19;
inline constexpr std::int32_t ResetAdminNumbers = 20;
inline constexpr std::int32_t ResetAuthorisedNumbers = 21;
inline constexpr std::int32_t ResetBackupNumbers = 22;
inline constexpr std::int32_t EnterConfiguration = 23;
inline constexpr std::int32_t RestartToCommunication = 24;
inline constexpr std::int32_t DeleteNumbers = 26;
inline constexpr std::int32_t PowerOnTest = 27;
inline constexpr std::int32_t SaveConfigFile = 28;
inline constexpr std::int32_t LoadConfigFile = 29;
inline constexpr std::int32_t FactoryReset = 30;
inline constexpr std::int32_t SetClock = 31;
inline constexpr std::int32_t QueryVersion = 32;
inline constexpr std::int32_t StatusProbe = 33;
inline constexpr std::int32_t ReadClock = 34;
// Beyond the terminal's own tasks: the signal meter's queries.
inline constexpr std::int32_t SignalMeter = 40;
}  // namespace TaskCode
