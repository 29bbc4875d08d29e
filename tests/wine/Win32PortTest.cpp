// Checks of the Win32 serial port against a COM port whose other end echoes
// every byte back (tests/wine/pty_echo.py behind a pseudo-terminal under
// Wine). Self-checking: prints one line per failed check and closes with
// "N passed, N failed"; exits non-zero when any check failed.
//   sirenset_win32_port_tests <device>    e.g. \\.\COM5

#include "serial/Win32SerialPort.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int g_passed = 0;
int g_failed = 0;
int g_skipped = 0;

bool UnderWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void Skip(const std::string& what, const std::string& why)
{
    ++g_skipped;
    std::printf("SKIPPED: %s (%s)\n", what.c_str(), why.c_str());
    std::fflush(stdout);
}

void Check(bool ok, const std::string& what)
{
    if (ok) {
        ++g_passed;
    } else {
        ++g_failed;
        std::printf("FAILED: %s\n", what.c_str());
    }
    std::fflush(stdout);
}

// Reads until `count` bytes came or about `limitMs` passed.
std::string ReadSome(Win32SerialPort& port, size_t count, int limitMs)
{
    std::string got;
    for (int waited = 0; got.size() < count && waited < limitMs; waited += 20) {
        PortStatus status;
        if (!port.TakeStatus(&status))
            break;
        char buffer[8192];
        const int n = port.Read(buffer, sizeof buffer, status.queuedInput, 60);
        if (n > 0)
            got.append(buffer, static_cast<size_t>(n));
        else
            Sleep(20);
    }
    return got;
}

bool OpenConfigured(Win32SerialPort& port, const std::string& device)
{
    return port.Open(device) && port.SetQueueSizes(kPortQueueBytes, kPortQueueBytes)
           && port.SetTimeouts(PortTimeouts{}) && port.Purge(true, true) && port.SetLineSettings(115200, 8, Parity::None);
}

void OpenAndExclusiveOpen(const std::string& device)
{
    Win32SerialPort port;
    Check(OpenConfigured(port, device), "opens " + device + ": " + port.LastSystemText());
    Check(port.IsOpen(), "is open");

    Win32SerialPort second;
    const bool secondOpened = second.Open(device);
    if (secondOpened && UnderWine()) {
        // Windows' serial driver refuses a second handle; Wine opens the
        // pseudo-terminal again whatever the share mode.
        second.Close();
        Skip("a second open of the same port is refused", "Wine does not enforce exclusive opens of devices");
    } else {
        Check(!secondOpened, "a second open of the same port is refused");
        Check(second.LastFailure() == PortFailure::Busy, "the second open is refused as busy");
    }
    Check(!port.Open(device), "an open port does not open again");

    port.Close();
    Check(!port.IsOpen(), "closed");
    Check(second.Open(device), "free again after close: " + second.LastSystemText());
    second.Close();
    Check(port.Open(device), "the same object opens again");

    Win32SerialPort missing;
    Check(!missing.Open("\\\\.\\COM239"), "a port that does not exist is refused");
    Check(missing.LastFailure() == PortFailure::NoDevice, "refused as no such device");
}

void SettingsAndTimeouts(const std::string& device)
{
    Win32SerialPort port;
    Check(OpenConfigured(port, device), "opens for settings");
    // The time-outs every open sets up: read interval 100 ms, read total
    // 1 ms per byte plus 1000 ms, write total 1 ms per byte plus 1000 ms.
    PortTimeouts t;
    Check(port.QueryTimeouts(&t), "time-outs read back");
    Check(t.readIntervalMs == 100, "read interval 100 ms");
    Check(t.readTotalMultiplierMs == 1, "read multiplier 1 ms per byte");
    Check(t.readTotalConstantMs == 1000, "read constant 1000 ms");
    Check(t.writeTotalMultiplierMs == 1, "write multiplier 1 ms per byte");
    Check(t.writeTotalConstantMs == 1000, "write constant 1000 ms");

    const int rates[] = {9600, 38400, 115200, 57600, 19200};
    for (const int rate : rates) {
        Check(port.SetLineSettings(rate, 8, Parity::None), "sets " + std::to_string(rate) + " 8N1");
        int got = 0;
        int bits = 0;
        Parity parity = Parity::Odd;
        Check(port.QueryLineSettings(&got, &bits, &parity), "reads back " + std::to_string(rate));
        Check(got == rate && bits == 8 && parity == Parity::None, "reads back " + std::to_string(rate) + " 8N1");
    }
    struct Refused {
        int rate;
        int bits;
        Parity parity;
        PortFailure failure;
    };
    const Refused refused[] = {
        {12345, 8, Parity::None, PortFailure::BadRate},
        {0, 8, Parity::None, PortFailure::BadRate},
        {115200, 6, Parity::None, PortFailure::BadDataBits},
        {115200, 8, static_cast<Parity>(3), PortFailure::BadParity},
    };
    for (const Refused& row : refused) {
        Check(!port.SetLineSettings(row.rate, row.bits, row.parity), "refuses " + std::to_string(row.rate));
        Check(port.LastFailure() == row.failure, "refusal kind for " + std::to_string(row.rate));
        int got = 0;
        port.QueryLineSettings(&got, nullptr, nullptr);
        Check(got == 19200, "a refused setting keeps the previous rate");
    }
}

void RoundTrips(const std::string& device)
{
    Win32SerialPort port;
    Check(OpenConfigured(port, device), "opens for traffic");
    const std::string probe = "AT+SHOW\r";
    Check(port.Write(probe.data(), static_cast<int>(probe.size())) == static_cast<int>(probe.size()), "writes a command");
    Check(ReadSome(port, probe.size(), 3000) == probe, "reads the echo of a command");

    std::string all;
    for (int value = 0; value < 256; ++value)
        all.push_back(static_cast<char>(value));
    Check(port.Write(all.data(), static_cast<int>(all.size())) == 256, "writes every byte value");
    Check(ReadSome(port, all.size(), 3000) == all, "every byte value comes back unchanged");

    std::string large;
    for (int i = 0; i < 3000; ++i)
        large.push_back(static_cast<char>('0' + i % 10));
    Check(port.Write(large.data(), static_cast<int>(large.size())) == static_cast<int>(large.size()), "writes 3000 bytes");
    Check(ReadSome(port, large.size(), 5000) == large, "3000 bytes come back in order");

    PortStatus status;
    Check(port.TakeStatus(&status) && status.errors == 0, "no line errors on a clean line");
    char buffer[16];
    Check(port.Read(buffer, sizeof buffer, status.queuedInput, 60) == 0, "nothing left to read");
}

void PurgeThrowsAwayInput(const std::string& device)
{
    Win32SerialPort port;
    Check(OpenConfigured(port, device), "opens for purge");
    Check(port.Write("unwanted", 8) == 8, "writes bytes to be purged");
    PortStatus status;
    for (int waited = 0; waited < 3000; waited += 20) {
        port.TakeStatus(&status);
        if (status.queuedInput >= 8)
            break;
        Sleep(20);
    }
    Check(status.queuedInput == 8, "the echo is queued");
    Check(port.Purge(true, false), "purges input");
    Check(port.TakeStatus(&status) && status.queuedInput == 0, "nothing queued after purge");
    Check(port.Write("kept", 4) == 4, "writes after purge");
    Check(ReadSome(port, 4, 3000) == "kept", "only the bytes after purge arrive");
}

void ReceivedBytesAreAnnounced(const std::string& device)
{
    Win32SerialPort port;
    Check(OpenConfigured(port, device), "opens for events");
    Check(port.Write("x", 1) == 1, "writes a byte to be announced");
    bool announced = false;
    for (int round = 0; round < 200 && !announced; ++round) {
        unsigned events = 0;
        if (port.WaitForEvents(&events) != WaitOutcome::Events)
            break;
        announced = (events & EventRxChar) != 0;
    }
    Check(announced, "received bytes are announced");
    Check(ReadSome(port, 1, 1000) == "x", "the announced byte is read");
}

struct WaitThread {
    Win32SerialPort* port = nullptr;
    volatile LONG ended = 0;
    WaitOutcome outcome = WaitOutcome::Events;
};

DWORD WINAPI WaitUntilCancelled(void* argument)
{
    auto* wait = static_cast<WaitThread*>(argument);
    unsigned events = 0;
    WaitOutcome outcome = WaitOutcome::Events;
    while ((outcome = wait->port->WaitForEvents(&events)) == WaitOutcome::Events) {
    }
    wait->outcome = outcome;
    InterlockedExchange(&wait->ended, 1);
    return 0;
}

void CancelEndsAPendingWait(const std::string& device)
{
    Win32SerialPort port;
    Check(OpenConfigured(port, device), "opens for the wait");
    WaitThread wait;
    wait.port = &port;
    const HANDLE thread = CreateThread(nullptr, 0, WaitUntilCancelled, &wait, 0, nullptr);
    Check(thread != nullptr, "starts the waiting thread");
    if (!thread)
        return;
    Sleep(300);
    Check(InterlockedCompareExchange(&wait.ended, 0, 0) == 0, "the wait is pending on a quiet line");
    port.Cancel();
    const bool ended = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
    Check(ended, "cancel ends the pending wait");
    Check(wait.outcome == WaitOutcome::Cancelled, "the wait reports that it was cancelled");
    CloseHandle(thread);
    Check(port.Write("x", 1) == 0, "a cancelled port writes nothing");
    port.Close();
    Check(port.Open(device), "opens again after cancel and close");
    Check(port.Write("y", 1) == 1, "writes again after reopening");
    Check(ReadSome(port, 1, 3000) == "y", "reads again after reopening");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("usage: %s \\\\.\\COMn\n", argv[0]);
        return 2;
    }
    const std::string device = argv[1];
    OpenAndExclusiveOpen(device);
    SettingsAndTimeouts(device);
    RoundTrips(device);
    PurgeThrowsAwayInput(device);
    ReceivedBytesAreAnnounced(device);
    CancelEndsAPendingWait(device);
    if (g_skipped > 0)
        std::printf("%d passed, %d failed, %d skipped\n", g_passed, g_failed, g_skipped);
    else
        std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 && g_passed > 0 ? 0 : 1;
}
