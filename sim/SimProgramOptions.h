#pragma once

#include "sim/SimulatorOptions.h"

#include <string>
#include <vector>

// Command line of the sirenset-sim program. Every option also accepts the
// "--name=value" form. See HelpText() for the list.
struct SimProgramOptions {
    SimulatorOptions simulator;
    SimulatorFaults faults;
    int streamRate = 0;  // bytes per second in communication mode, 0 = off
    std::string signal;  // --signal: how "at+csq" is answered (see ApplySignalSetting)
    bool verbose = false;
    bool showHelp = false;
    std::string error;   // set when the command line is not valid

    // `args` without the program name.
    static SimProgramOptions Parse(const std::vector<std::string>& args);
    static std::string HelpText();
    // "\r", "\n", "\t", "\\" and "\xHH" in a message text become their bytes.
    static std::string Unescape(const std::string& text);
};
