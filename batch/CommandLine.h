#pragma once

#include "profiles/FleetLimits.h"
#include "reports/ReportTiming.h"

#include <QString>
#include <QStringList>

// What the command line asks for.
struct CommandLine {
    enum class Mode { Window, Read, Apply, Diff, Signal, Edit, Help, Version, Error, History, Export, Check,
                      Conform, Compliance, Acceptance, Inspection, VerifyReport };

    Mode mode = Mode::Window;
    QStringList ports;           // --port, in the order given
    int baudRate = 115200;       // --baud
    int powerOnTimeoutSeconds = 120;  // --timeout
    bool timeoutGiven = false;
    QString file;                // --read / --apply / --diff / --edit / --check
    QString profileFile;         // --profile: the project profile to check against
    QString outputFile;          // --output: where --edit / --diff --changed-only write
    bool changedOnly = false;    // --changed-only (with --diff and --output)
    QStringList settings;        // --set "LABEL=VALUE", in the order given
    QStringList onlyLabels;      // --only LABEL: apply/diff only these changes
    QStringList skipLabels;      // --skip LABEL: leave these changes out
    QString unitsFile;           // --units: one row of values per terminal
    bool repeat = false;         // --repeat: terminal after terminal
    bool verify = true;          // off with --no-verify
    QString logFile;             // --log
    QString reportFile;          // --report
    bool logToStdout = false;    // --log-stdout (window)
    bool communicationMode = false;  // --communication (window)
    bool hexDisplay = false;     // --hex-display (window, with --communication)
    bool timeStamps = false;     // --time-stamps (window, with --communication)
    int quitAfterSeconds = 0;    // --quit-after (window demonstrations)
    int signalSeconds = 60;      // --signal: how long to measure (--seconds)
    int signalIntervalMs = 1000; // --signal: between two readings (--interval)
    bool record = true;          // off with --no-record
    QString database;            // --db: a file or a postgresql:// address; "" = the default file
    QString historyDevice;       // --history [DEVICEID]; "" lists every device
    bool json = false;           // --json (with --history or --compliance)
    bool csv = false;            // --csv (with --compliance)
    int staleDays = kDefaultStaleDays;  // --stale-days: --compliance's 过期 after so many days unseen
    QString exportSnapshot;      // --export DEVICEID[@N]
    QString exportFile;          // --export's FILE
    // --acceptance / --inspection OUT.pdf: the report and what it is made of.
    QString reportPdf;
    QString siteFile;            // --site
    QString checklistFile;       // --checklist: the manual checks' results
    QString templateFile;        // --template: another checklist template
    int reportSignalSeconds = ReportTiming{}.signalSeconds;  // --seconds
    QString verifyNumber;        // --verify-report NUMBER SHA256
    QString verifyDigest;
    QString error;               // Mode::Error: what was wrong
    QString helpText;

    bool IsBatch() const
    {
        return mode == Mode::Read || mode == Mode::Apply || mode == Mode::Diff || mode == Mode::Conform;
    }
};

// Parses the arguments (argv[0] included). Needs no application object.
CommandLine ParseCommandLine(const QStringList& arguments);
