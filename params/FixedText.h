#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// A zero-terminated byte text of fixed width (the terminator included), as
// the terminal's parameters are kept. The width is a hard limit: every write
// goes through Assign, which refuses a text that does not fit instead of
// cutting it or writing past the end. Bytes are kept as they are (GBK for
// Chinese text); no character set conversion happens here.
template <std::size_t Width>
class FixedText {
    static_assert(Width >= 1, "a fixed text needs room for its terminator");

public:
    // Longest text the field holds, in bytes.
    static constexpr std::size_t kCapacity = Width - 1;

    FixedText() = default;

    // Stores the text and returns true; returns false and leaves the field
    // unchanged when the text is longer than kCapacity or holds a zero byte
    // (which would end the text early for every reader of the field).
    bool Assign(std::string_view text)
    {
        if (!Fits(text))
            return false;
        text.copy(m_bytes.data(), text.size());
        m_bytes[text.size()] = '\0';
        m_length = text.size();
        return true;
    }

    // Whether Assign would accept the text.
    static constexpr bool Fits(std::string_view text)
    {
        return text.size() <= kCapacity && text.find('\0') == std::string_view::npos;
    }

    void Clear()
    {
        m_bytes.fill('\0');
        m_length = 0;
    }

    std::string_view View() const { return {m_bytes.data(), m_length}; }
    std::string ToString() const { return std::string(View()); }
    const char* CStr() const { return m_bytes.data(); }
    std::size_t Length() const { return m_length; }
    bool IsEmpty() const { return m_length == 0; }

    friend bool operator==(const FixedText& text, std::string_view other) { return text.View() == other; }
    friend bool operator==(const FixedText& left, const FixedText& right) { return left.View() == right.View(); }

private:
    std::array<char, Width> m_bytes{};
    std::size_t m_length = 0;
};
