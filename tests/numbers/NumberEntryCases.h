#pragma once

#include <QString>

#include <vector>

// Texts typed into the number entry dialog and what must come of them.
struct NumberEntryCase {
    const char* name;
    QString typed;
    QString message;        // empty: accepted
    QString numberText;     // accepted text
};

const std::vector<NumberEntryCase>& NumberEntryCases();
