#pragma once

#include <array>
#include <optional>
#include <string_view>

// The terminal reports its work mode and activation method as words; the
// tool keeps a short code instead: the code of the first listed word that
// occurs anywhere in the reported text. Order matters ("TCP TRANSPARENT"
// contains "TRANSP" and so gives "TRNS").
struct CodeWord {
    std::string_view word;
    std::string_view code;
};

inline constexpr std::array<CodeWord, 9> kWorkModeCodes{{
    {"PROT", "PROT"},
    {"TRANSP", "TRNS"},
    {"TCP TRANS", "TTRN"},
    {"CLIENT", "TLNT"},
    {"LONG", "LONG"},
    {"LNGT", "LNGT"},
    {"UDP", "TUDP"},
    {"TCP CUSTOM", "TCST"},
    {"TCP SERVER", "TCPSVR"},
}};

inline constexpr std::array<CodeWord, 5> kActivateMethodCodes{{
    {"AUTO", "AUTO"},
    {"SMS", "SMSD"},
    {"CONTROLABLE", "CTRL"},
    {"DATA", "DATA"},
    {"MIXD", "MIXD"},
}};

// Code of the first listed word contained in the text; nothing when none is.
std::optional<std::string_view> WorkModeCode(std::string_view reported);
std::optional<std::string_view> ActivateMethodCode(std::string_view reported);

// Same numbering as the serial port's own parity setting.
enum class SerialParity { None = 0, Odd = 1, Even = 2 };

struct SerialFraming {
    int dataBits = 8;
    SerialParity parity = SerialParity::None;

    friend bool operator==(const SerialFraming&, const SerialFraming&) = default;
};

struct SerialModeEntry {
    std::string_view text;
    SerialFraming framing;
};

inline constexpr std::array<SerialModeEntry, 6> kSerialModes{{
    {"8N1", {8, SerialParity::None}},
    {"8E1", {8, SerialParity::Even}},
    {"8O1", {8, SerialParity::Odd}},
    {"7O1", {7, SerialParity::Odd}},
    {"7E1", {7, SerialParity::Even}},
    {"7N1", {7, SerialParity::None}},
}};

// Data bits and parity of the terminal's communication mode from its
// `serialMode` text: the first listed text found anywhere in it decides;
// 8 bits, no parity when none is found. The stop bits are always one.
SerialFraming SerialModeSettings(std::string_view serialMode);
