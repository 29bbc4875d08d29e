#pragma once

// The durations and limits of an acceptance or inspection report, in one
// place. Tests may shorten the durations; the shipped program never does.
struct ReportTiming {
    // How long the signal is measured when --seconds is not given.
    int signalSeconds = 60;
    // How far the terminal's clock may be from the computer's and still pass.
    int clockToleranceSeconds = 60;
    // The lowest average level (CSQ) that passes: the band 一般 begins here.
    int lowestPassingRssi = 10;
};
