#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The tool's end of the line, as plain file-descriptor I/O: opens the
// simulator's device raw and reads with time limits. Bytes read but not yet
// handed out by ReadUntil stay for the next call.
class PtyClient {
public:
    explicit PtyClient(const std::string& path, int baudRate = 115200);
    ~PtyClient();

    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    void Close();

    bool Write(std::string_view bytes);
    // Everything up to and including the first `needle`; nothing if it does
    // not come in time (what came stays in Pending()).
    std::optional<std::string> ReadUntil(std::string_view needle,
                                         std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Everything that arrives within `duration`, plus what was pending.
    std::string ReadFor(std::chrono::milliseconds duration);
    // The sizes of the separate reads until `needle` has arrived (for
    // checking that a reply came in pieces).
    std::vector<std::size_t> ReadPiecesUntil(std::string_view needle,
                                             std::chrono::milliseconds limit = std::chrono::seconds(5));
    // True once the other end has gone (hang-up or read end of file).
    bool WaitForHangUp(std::chrono::milliseconds limit = std::chrono::seconds(5));

    const std::string& Pending() const { return m_pending; }
    void DropPending() { m_pending.clear(); }

private:
    // One read of what is there within `wait`; -1 on hang-up.
    long ReadOnce(std::chrono::milliseconds wait);

    int m_fd = -1;
    std::string m_pending;
};
