#pragma once

#include <QString>

// One step of a command sequence.
struct SequenceStep {
    enum class Kind {
        Send,   // send the library's command `text` (its name)
        Wait,   // wait up to `ms` for the reply text `text` (GBK, plain substring)
        Pause,  // do nothing for `ms`
    };

    Kind kind = Kind::Send;
    QString text;
    int ms = 0;

    bool operator==(const SequenceStep&) const = default;
};
