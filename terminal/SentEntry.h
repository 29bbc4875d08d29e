#pragma once

#include <QString>

// One send the terminal panel remembers: the send box's text and whether it
// went as hexadecimal.
struct SentEntry {
    QString text;
    bool hex = false;

    bool operator==(const SentEntry&) const = default;
};
