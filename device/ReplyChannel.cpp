#include "device/ReplyChannel.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

const QByteArray kOkLine = QByteArrayLiteral("OK\r\n");
const QByteArray kPowerOnBanner = QByteArrayLiteral("Press 's' key");

}  // namespace

void ReplyChannel::Arm(std::int8_t code, const QByteArray& command)
{
    std::lock_guard guard(m_lock);
    m_expectedReply = code;
    m_command = command;
    m_abandoned = false;
    m_recvLen = 0;
    m_recvBuf[0] = '\0';
    m_replyEvent = false;
}

void ReplyChannel::SetExpected(std::int8_t code)
{
    std::lock_guard guard(m_lock);
    m_expectedReply = code;
    m_command.clear();
}

std::int8_t ReplyChannel::Expected() const
{
    std::lock_guard guard(m_lock);
    return m_expectedReply;
}

void ReplyChannel::ClearBuffer()
{
    std::lock_guard guard(m_lock);
    m_recvLen = 0;
    m_recvBuf[0] = '\0';
}

void ReplyChannel::ResetEvent()
{
    std::lock_guard guard(m_lock);
    m_replyEvent = false;
}

void ReplyChannel::SetEvent()
{
    {
        std::lock_guard guard(m_lock);
        m_replyEvent = true;
    }
    m_signal.notify_all();
}

bool ReplyChannel::ReleaseIfAwaiting(std::int8_t code)
{
    {
        std::lock_guard guard(m_lock);
        if (m_expectedReply != code)
            return false;
        m_replyEvent = true;
    }
    m_signal.notify_all();
    return true;
}

bool ReplyChannel::IsComplete(std::int8_t code, const QByteArray& text)
{
    if (code == FullReport) {
        const qsizetype label = text.indexOf("Access Point Name:");
        return label >= 0 && text.indexOf(kOkLine, label) >= 0;
    }
    if (code >= FirstOkLine && code <= LastOkLine)
        return text.contains(kOkLine);
    if (code == ListAnnounced)
        return text.contains("AT+LIST");
    if (code == RebootBanner)
        return text.contains("configure program.");
    if (code == AnyOk)
        return text.contains("OK");
    return false;
}

bool ReplyChannel::IsComplete(std::int8_t code, const QByteArray& text, const QByteArray& command)
{
    if (command.isEmpty())
        return IsComplete(code, text);
    const qsizetype common = std::min(text.size(), command.size());
    if (text.left(common) != command.left(common))
        return IsComplete(code, text);  // no echo: the text is all reply
    if (text.size() <= command.size())
        return false;  // still inside the echo
    return IsComplete(code, text.mid(command.size()));
}

bool ReplyChannel::WatchesForBanner(std::int8_t code)
{
    // Codes that no sender uses (19..22) and anything outside 0..25 are
    // treated as "nothing awaited".
    return code < FullReport || code > AnyOk || (code > LastOkLine && code < ListAnnounced);
}

ReplyChannel::ReceiveResult ReplyChannel::Receive(const char* data, int length)
{
    ReceiveResult result;
    {
        std::lock_guard guard(m_lock);
        AppendLocked(data, length);
        const std::int8_t code = m_expectedReply;
        const QByteArray text = QByteArray::fromRawData(m_recvBuf.data(), m_recvLen);
        if (IsComplete(code, text, m_command)) {
            m_replyEvent = true;
            m_expectedReply = kNothingAwaited;
            m_command.clear();
            result.completed = true;
        }
        // The banner is looked for only while nothing was awaited when the
        // bytes came in: a reply being collected is never thrown away.
        if (WatchesForBanner(code) && text.contains(kPowerOnBanner)) {
            m_recvLen = 0;
            m_recvBuf[0] = '\0';
            result.bannerSeen = true;
        }
    }
    if (result.completed)
        m_signal.notify_all();
    return result;
}

void ReplyChannel::AppendLocked(const char* data, int length)
{
    if (length <= 0)
        return;
    // Both buffers keep the newest kCapacity bytes.
    if (length >= kCapacity) {
        std::memcpy(m_rawBuf.data(), data + (length - kCapacity), kCapacity);
        m_recvLen = kCapacity;
    } else if (m_recvLen + length <= kCapacity) {
        std::memcpy(m_rawBuf.data() + m_recvLen, data, length);
        m_recvLen += length;
    } else {
        const int drop = m_recvLen + length - kCapacity;
        std::memmove(m_rawBuf.data(), m_rawBuf.data() + drop, m_recvLen - drop);
        std::memcpy(m_rawBuf.data() + (m_recvLen - drop), data, length);
        m_recvLen = kCapacity;
    }
    // Zero bytes become blanks so the whole buffer searches as one text.
    std::replace_copy(m_rawBuf.begin(), m_rawBuf.begin() + m_recvLen, m_recvBuf.begin(), '\0', ' ');
    m_recvBuf[m_recvLen] = '\0';
}

bool ReplyChannel::Wait(int timeoutMs)
{
    std::unique_lock guard(m_lock);
    const auto ready = [this] { return m_replyEvent || m_shutDown || m_abandoned; };
    if (timeoutMs < 0)
        m_signal.wait(guard, ready);
    else
        m_signal.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready);
    return m_replyEvent && !m_shutDown;
}

void ReplyChannel::Abandon()
{
    {
        std::lock_guard guard(m_lock);
        m_abandoned = true;
    }
    m_signal.notify_all();
}

void ReplyChannel::Shutdown()
{
    {
        std::lock_guard guard(m_lock);
        m_shutDown = true;
    }
    m_signal.notify_all();
}

bool ReplyChannel::IsShutDown() const
{
    std::lock_guard guard(m_lock);
    return m_shutDown;
}

QByteArray ReplyChannel::Text() const
{
    std::lock_guard guard(m_lock);
    return QByteArray(m_recvBuf.data(), m_recvLen);
}

QByteArray ReplyChannel::RawText() const
{
    std::lock_guard guard(m_lock);
    return QByteArray(m_rawBuf.data(), m_recvLen);
}

int ReplyChannel::Length() const
{
    std::lock_guard guard(m_lock);
    return m_recvLen;
}
