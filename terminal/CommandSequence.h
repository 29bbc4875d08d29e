#pragma once

#include "terminal/SequenceStep.h"

#include <QList>
#include <QString>

// A named series of steps run `repeat` times in a row.
struct CommandSequence {
    QString name;
    QList<SequenceStep> steps;
    int repeat = 1;

    bool operator==(const CommandSequence&) const = default;
};
