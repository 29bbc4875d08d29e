#include "batch/CommandLine.h"

#include "params/ChangeSelection.h"
#include "records/RecordCommands.h"
#include "records/RecordLocation.h"

#include <QCommandLineParser>

namespace {

bool ReadPositive(const QString& text, int* value)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number <= 0)
        return false;
    *value = number;
    return true;
}

// Seconds become milliseconds for a timer: a day at most keeps that far
// inside an int.
constexpr int kMaxSeconds = 86400;
constexpr int kMaxStaleDays = 36500;

bool ReadSeconds(const QString& text, int* value)
{
    int seconds = 0;
    if (!ReadPositive(text, &seconds) || seconds > kMaxSeconds)
        return false;
    *value = seconds;
    return true;
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Configures a wireless early-warning broadcast terminal over a serial line, in a window or,\n"
        "with --read, --apply, --diff, --signal, --edit, --history or --export, without one.\n"
        "--read, --apply and --diff wait for the terminal's power-on, enter configuration mode,\n"
        "then save its configuration to FILE (--read), configure it from FILE (--apply), or\n"
        "show what --apply would change (--diff); several --port run at the same time.\n"
        "--signal watches the signal quality, --edit changes a configuration file without a\n"
        "terminal, --history and --export read the service record. --profile checks terminals\n"
        "(after every read-back) or a file (--check) against a project profile; --conform puts\n"
        "a terminal right by sending only what deviates from it."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version."));
    const QCommandLineOption port(QStringList{QStringLiteral("p"), QStringLiteral("port")},
                                  QStringLiteral("Serial device to use; listed first in the window (repeatable)."),
                                  QStringLiteral("DEVICE"));
    const QCommandLineOption baud(QStringLiteral("baud"), QStringLiteral("Line speed (default 115200)."),
                                  QStringLiteral("RATE"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("How long to wait for the power-on, 1 to 86400 (default 120)."),
                                     QStringLiteral("SECONDS"));
    const QCommandLineOption read(QStringLiteral("read"),
                                  QStringLiteral("Save the terminal's configuration to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption apply(QStringLiteral("apply"), QStringLiteral("Configure the terminal from FILE."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption diff(QStringLiteral("diff"),
                                  QStringLiteral("Show what --apply FILE would change; send nothing. Exit 3 when "
                                                 "something differs."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption set(QStringLiteral("set"),
                                 QStringLiteral("With --apply/--diff: replace one value of the file (repeatable). "
                                                "LABEL is the table's or the report's label."),
                                 QStringLiteral("LABEL=VALUE"));
    const QCommandLineOption units(QStringLiteral("units"),
                                   QStringLiteral("With --apply/--diff: a CSV file (UTF-8 or GBK) whose header row "
                                                  "names labels and whose rows hold one terminal's values each."),
                                   QStringLiteral("CSV"));
    const QCommandLineOption repeat(QStringLiteral("repeat"),
                                    QStringLiteral("After a terminal is done, wait for the next one's power-on on "
                                                   "the same port (until the last row of --units, or until ended)."));
    const QCommandLineOption noVerify(QStringLiteral("no-verify"),
                                      QStringLiteral("Do not read the configuration back after --apply."));
    const QCommandLineOption logFile(QStringLiteral("log"),
                                     QStringLiteral("Also append every log line, time-stamped, to FILE."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption reportFile(QStringLiteral("report"),
                                        QStringLiteral("Write one JSON record per terminal to FILE."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption logStdout(QStringLiteral("log-stdout"),
                                       QStringLiteral("Window: also print every log line on standard output."));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                       QStringLiteral("Window: close after SECONDS (demonstrations)."),
                                       QStringLiteral("SECONDS"));
    const QCommandLineOption communication(
        QStringLiteral("communication"),
        QStringLiteral("Window: start in communication mode, as a serial terminal; nothing is sent when the port "
                       "opens."));
    const QCommandLineOption hexDisplay(QStringLiteral("hex-display"),
                                        QStringLiteral("Window, with --communication: show received bytes as hex."));
    const QCommandLineOption timeStamps(
        QStringLiteral("time-stamps"),
        QStringLiteral("Window, with --communication: tick 时间戳 (entries are packets with the time of their first "
                       "byte; sends are shown)."));
    const QCommandLineOption signal(QStringLiteral("signal"),
                                    QStringLiteral("Catch the terminal and read its signal quality (at+csq) for "
                                                   "--seconds, one line per reading, then a summary. Exit 0 when a "
                                                   "level was read at least once and the port stayed."));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("With --signal, --acceptance or --inspection: how long to measure the signal "
                                                    "(default 60)."),
                                     QStringLiteral("N"));
    const QCommandLineOption interval(QStringLiteral("interval"),
                                      QStringLiteral("With --signal: seconds between readings, 0.5 to 10 (default 1)."),
                                      QStringLiteral("S"));
    const QCommandLineOption edit(QStringLiteral("edit"),
                                  QStringLiteral("Change values of configuration FILE without a terminal: each --set "
                                                 "is checked as the window's 保存设置 checks it; the result goes to "
                                                 "--output. Exit 1 when a value is refused."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("With --edit or --diff --changed-only: the file to write."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption changedOnly(
        QStringLiteral("changed-only"),
        QStringLiteral("With --diff and --output: write a file holding only what FILE would change on the "
                       "terminal (and the lines every file needs)."));
    const QCommandLineOption only(QStringLiteral("only"),
                                  QStringLiteral("With --apply/--diff: send (or show) only this change (repeatable); "
                                                 "LABEL as for --set, or 管理号码/授权号码/备份号码."),
                                  QStringLiteral("LABEL"));
    const QCommandLineOption skip(QStringLiteral("skip"),
                                  QStringLiteral("With --apply/--diff: leave this change out (repeatable)."),
                                  QStringLiteral("LABEL"));
    const QCommandLineOption noRecord(QStringLiteral("no-record"),
                                      QStringLiteral("Keep no service record of the terminals in this run."));
    const QCommandLineOption database(
        QStringLiteral("db"),
        QStringLiteral("Where the service record is kept: an SQLite file in a folder that exists, or "
                       "postgresql://user@host[:port]/dbname[?sslmode=...] with any libpq keyword (password from "
                       "PGPASSWORD or ~/.pgpass). Default: a file in the user's data folder."),
        QStringLiteral("LOCATION"));
    const QCommandLineOption history(QStringLiteral("history"),
                                     QStringLiteral("List the recorded devices, or with DEVICEID one device's "
                                                    "snapshots and changes."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("With --history or --compliance: print JSON."));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("With --compliance: print the terminals as CSV (UTF-8)."));
    const QCommandLineOption compliance(
        QStringLiteral("compliance"),
        QStringLiteral("With --profile: where every recorded terminal stands against the profile, from its latest "
                       "snapshot (符合, 不符合, 待整改, 过期, 无快照), with totals per state, rule and module version. "
                       "Exit 0 when all conform, 3 when some do not."));
    const QCommandLineOption staleDays(
        QStringLiteral("stale-days"),
        QStringLiteral("With --compliance: a terminal not seen for N days is 过期 (default %1).").arg(kDefaultStaleDays),
        QStringLiteral("N"));
    const QCommandLineOption exportOption(
        QStringLiteral("export"),
        QStringLiteral("Write snapshot N of a device (default: its latest) as a configuration file: --export "
                       "DEVICEID[@N] FILE."),
        QStringLiteral("DEVICEID[@N]"));
    const QCommandLineOption profile(
        QStringLiteral("profile"),
        QStringLiteral("A project profile (JSON): every read-back is checked against it (in the window, or with "
                       "--read, --apply, --diff); with --check or --conform see there."),
        QStringLiteral("FILE"));
    const QCommandLineOption check(QStringLiteral("check"),
                                   QStringLiteral("With --profile: list where configuration FILE deviates from the "
                                                  "profile. Exit 0 when it conforms, 3 when it does not."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption conform(
        QStringLiteral("conform"),
        QStringLiteral("With --profile and --port: catch the terminal, read it, send only the items and lists that "
                       "deviate (per-unit values from --units), verify. Exit 1 when a deviation needs a person."));
    // Acceptance and inspection reports.
    const QCommandLineOption acceptance(
        QStringLiteral("acceptance"),
        QStringLiteral("Catch the terminal, run the automatic checks (read-back, conformity, signal for --seconds, "
                       "clock, power-on test, number lists) and write the acceptance report (验收报告) as PDF, its "
                       "fields beside it as PDF.json. Exit 0 when 合格, 3 when 不合格."),
        QStringLiteral("PDF"));
    const QCommandLineOption inspection(QStringLiteral("inspection"),
                                        QStringLiteral("As --acceptance, with the inspection template (巡检报告)."),
                                        QStringLiteral("PDF"));
    const QCommandLineOption site(QStringLiteral("site"),
                                  QStringLiteral("With --acceptance/--inspection: the site (JSON)."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption checklist(
        QStringLiteral("checklist"),
        QStringLiteral("With --acceptance/--inspection: the manual checks' results and photos (JSON); without it "
                       "every manual check is 未检."),
        QStringLiteral("FILE"));
    const QCommandLineOption reportTemplate(
        QStringLiteral("template"),
        QStringLiteral("With --acceptance/--inspection: a checklist template (JSON) instead of the shipped one."),
        QStringLiteral("FILE"));
    const QCommandLineOption verifyReport(
        QStringLiteral("verify-report"),
        QStringLiteral("Whether the service record agrees with a paper report: --verify-report NUMBER SHA256 (both "
                       "from its QR code). Exit 0 when it holds that terminal's snapshot, 3 when not."),
        QStringLiteral("NUMBER"));
    parser.addOptions({acceptance, inspection, site, checklist, reportTemplate, verifyReport});
    parser.addOptions({help, version, port, baud, timeout, read, apply, diff, set, units, repeat, noVerify, logFile,
                       reportFile, logStdout, quitAfter, communication, hexDisplay, timeStamps, signal, seconds, interval, edit,
                       output, only, skip, changedOnly, noRecord, database, history, json, exportOption, profile, check,
                       conform, csv, compliance, staleDays});
    parser.addPositionalArgument(QStringLiteral("DEVICEID|FILE"),
                                 QStringLiteral("With --history: the device; with --export: the file to write."),
                                 QStringLiteral("[DEVICEID|FILE]"));

    CommandLine command;
    // Without an application object the parser does not know our name.
    command.helpText = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("sirenset"))
        + QStringLiteral(
            "\nExit status:\n"
            "  0    success: the operation's success line (and a verification that matched);\n"
            "       --diff: nothing differs; --signal: a level was read and the run went its time\n"
            "  1    failure (--signal: no level read, or the port was lost; --edit: a value refused;\n"
            "       --check: the profile or the file refused; --conform: a deviation needs a person)\n"
            "  2    usage error\n"
            "  3    --diff found differences; --check: the file does not conform to the profile;\n"
            "       --compliance: some terminals do not conform;\n"
            "       --acceptance/--inspection: the report's verdict is 不合格\n"
            "  130  ended by SIGINT (Ctrl+C), 143 by SIGTERM\n");
    const auto fail = [&command](const QString& why) {
        command.mode = CommandLine::Mode::Error;
        command.error = why;
        return command;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    const QStringList positional = parser.positionalArguments();
    const int allowedPositional = parser.isSet(history) || parser.isSet(exportOption) || parser.isSet(verifyReport) ? 1 : 0;
    if (positional.size() > allowedPositional)
        return fail(QStringLiteral("Unexpected argument: %1").arg(positional.at(allowedPositional)));
    if (parser.isSet(help)) {
        command.mode = CommandLine::Mode::Help;
        return command;
    }
    if (parser.isSet(version)) {
        command.mode = CommandLine::Mode::Version;
        return command;
    }

    if (parser.isSet(verifyReport)) {
        // It reads the record: --db is all it takes.
        if (positional.size() != 1 || parser.optionNames().size() > 1 + int(parser.isSet(database)))
            return fail(QStringLiteral("--verify-report takes NUMBER SHA256 and at most --db"));
        command.mode = CommandLine::Mode::VerifyReport;
        command.verifyNumber = parser.value(verifyReport);
        command.verifyDigest = positional.constFirst();
        command.database = parser.value(database);
        return command;
    }
    if (parser.isSet(acceptance) || parser.isSet(inspection)) {
        // A report takes its terminal, its files, the profile, the signal's
        // time and the record; nothing of the other runs.
        if (parser.isSet(acceptance) && parser.isSet(inspection))
            return fail(QStringLiteral("only one of --acceptance and --inspection can be used"));
        for (const QCommandLineOption* other :
             {&read, &apply, &diff, &set, &units, &repeat, &noVerify, &logFile, &reportFile, &logStdout, &quitAfter,
              &communication, &hexDisplay, &timeStamps, &signal, &interval, &edit, &output, &changedOnly, &only, &skip,
              &history, &json, &exportOption, &check, &conform, &csv, &compliance, &staleDays}) {
            if (parser.isSet(*other))
                return fail(QStringLiteral("--acceptance and --inspection cannot be combined with --%1")
                                .arg(other->names().constLast()));
        }
        const bool isAcceptance = parser.isSet(acceptance);
        command.mode = isAcceptance ? CommandLine::Mode::Acceptance : CommandLine::Mode::Inspection;
        command.reportPdf = parser.value(isAcceptance ? acceptance : inspection);
        command.ports = parser.values(port);
        if (command.reportPdf.isEmpty())
            return fail(QStringLiteral("--acceptance and --inspection need the PDF file to write"));
        if (command.ports.size() != 1)
            return fail(QStringLiteral("--acceptance and --inspection need exactly one --port DEVICE"));
        command.siteFile = parser.value(site);
        command.checklistFile = parser.value(checklist);
        command.templateFile = parser.value(reportTemplate);
        command.profileFile = parser.value(profile);
        command.record = !parser.isSet(noRecord);
        command.database = parser.value(database);
        if (parser.isSet(database) && !RecordLocation::Parse(command.database, &command.error))
            return fail(QStringLiteral("--db %1: %2").arg(RecordLocation::Redacted(command.database), command.error));
        command.timeoutGiven = parser.isSet(timeout);
        if (parser.isSet(baud) && !ReadPositive(parser.value(baud), &command.baudRate))
            return fail(QStringLiteral("--baud needs a positive number, not \"%1\"").arg(parser.value(baud)));
        if (parser.isSet(timeout) && !ReadSeconds(parser.value(timeout), &command.powerOnTimeoutSeconds))
            return fail(QStringLiteral("--timeout needs a number of seconds from 1 to %1").arg(kMaxSeconds));
        if (parser.isSet(seconds) && !ReadSeconds(parser.value(seconds), &command.reportSignalSeconds))
            return fail(QStringLiteral("--seconds needs a number of seconds from 1 to %1, not \"%2\"")
                            .arg(kMaxSeconds)
                            .arg(parser.value(seconds)));
        return command;
    }
    if (parser.isSet(site) || parser.isSet(checklist) || parser.isSet(reportTemplate))
        return fail(QStringLiteral("--site, --checklist and --template need --acceptance or --inspection"));

    command.record = !parser.isSet(noRecord);
    command.database = parser.value(database);
    command.json = parser.isSet(json);
    if (parser.isSet(database)) {
        // An address that does not parse is refused here, before any
        // terminal is touched; its text (a password in it) goes nowhere.
        QString why;
        if (command.database.trimmed().isEmpty())
            return fail(QStringLiteral("--db needs a file or a postgresql:// address"));
        if (!RecordLocation::Parse(command.database, &why))
            return fail(QStringLiteral("--db %1: %2").arg(RecordLocation::Redacted(command.database), why));
    }
    if (parser.isSet(history) || parser.isSet(exportOption)) {
        if (parser.isSet(history) && parser.isSet(exportOption))
            return fail(QStringLiteral("only one of --history and --export can be used"));
        // They read the record: every option but --db (and --history's
        // --json) belongs to another mode.
        for (const QCommandLineOption* other :
             {&port, &baud, &timeout, &read, &apply, &diff, &set, &units, &repeat, &noVerify, &logFile, &reportFile,
              &logStdout, &quitAfter, &communication, &hexDisplay, &timeStamps, &signal, &seconds, &interval, &edit,
              &output, &changedOnly, &only, &skip, &noRecord, &profile, &check, &conform, &csv, &compliance,
              &staleDays}) {
            if (parser.isSet(*other))
                return fail(QStringLiteral("--history and --export read the service record; they take only --db "
                                           "(and --history --json), not --%1")
                                .arg(other->names().constLast()));
        }
        if (parser.isSet(history)) {
            command.mode = CommandLine::Mode::History;
            command.historyDevice = positional.value(0);
            if (!positional.isEmpty() && NormalisedDeviceKey(command.historyDevice).isEmpty())
                return fail(QStringLiteral("--history needs a device ID, not \"%1\"").arg(command.historyDevice));
            if (command.historyDevice.contains(QLatin1Char('@')))
                return fail(QStringLiteral("--history takes a device ID without @N, not \"%1\"")
                                .arg(command.historyDevice));
            return command;
        }
        if (command.json)
            return fail(QStringLiteral("--json needs --history or --compliance"));
        QString why;
        if (!ParseSnapshotName(parser.value(exportOption), &why))
            return fail(why);
        if (positional.isEmpty() || positional.constFirst().trimmed().isEmpty())
            return fail(QStringLiteral("--export needs DEVICEID[@N] FILE"));
        command.mode = CommandLine::Mode::Export;
        command.exportSnapshot = parser.value(exportOption);
        command.exportFile = positional.constFirst();
        return command;
    }
    command.profileFile = parser.value(profile);
    if (parser.isSet(compliance)) {
        // The record against a profile: no terminal takes part.
        for (const QCommandLineOption* other :
             {&port, &baud, &timeout, &read, &apply, &diff, &set, &units, &repeat, &noVerify, &logFile, &reportFile,
              &logStdout, &quitAfter, &communication, &hexDisplay, &timeStamps, &signal, &seconds, &interval, &edit,
              &output, &changedOnly, &only, &skip, &noRecord, &check, &conform, &site, &checklist,
              &reportTemplate}) {
            if (parser.isSet(*other))
                return fail(QStringLiteral("--compliance takes only --profile, --db, --stale-days and --json or --csv, "
                                           "not --%1")
                                .arg(other->names().constLast()));
        }
        if (command.profileFile.isEmpty())
            return fail(QStringLiteral("--compliance needs --profile FILE"));
        command.csv = parser.isSet(csv);
        if (command.json && command.csv)
            return fail(QStringLiteral("only one of --json and --csv can be used"));
        if (parser.isSet(staleDays)
            && (!ReadPositive(parser.value(staleDays), &command.staleDays) || command.staleDays > kMaxStaleDays))
            return fail(QStringLiteral("--stale-days needs a number of days from 1 to %1, not \"%2\"")
                            .arg(kMaxStaleDays)
                            .arg(parser.value(staleDays)));
        command.mode = CommandLine::Mode::Compliance;
        return command;
    }
    for (const QCommandLineOption* only : {&csv, &staleDays}) {
        if (parser.isSet(*only))
            return fail(QStringLiteral("--%1 needs --compliance").arg(only->names().constLast()));
    }
    if (command.json)
        return fail(QStringLiteral("--json needs --history or --compliance"));

    if (parser.isSet(profile) && command.profileFile.isEmpty())
        return fail(QStringLiteral("--profile needs a file name"));
    if (parser.isSet(check)) {
        // A file against a profile: nothing else takes part.
        for (const QCommandLineOption* other :
             {&port, &baud, &timeout, &read, &apply, &diff, &set, &units, &repeat, &noVerify, &logFile, &reportFile,
              &logStdout, &quitAfter, &communication, &hexDisplay, &timeStamps, &signal, &seconds, &interval, &edit,
              &output, &changedOnly, &only, &skip, &noRecord, &database, &conform}) {
            if (parser.isSet(*other))
                return fail(QStringLiteral("--check takes only --profile, not --%1").arg(other->names().constLast()));
        }
        command.mode = CommandLine::Mode::Check;
        command.file = parser.value(check);
        if (command.file.isEmpty() || command.profileFile.isEmpty())
            return fail(QStringLiteral("--check needs a file name and --profile FILE"));
        return command;
    }

    command.ports = parser.values(port);
    command.logToStdout = parser.isSet(logStdout);
    if (parser.isSet(baud) && !ReadPositive(parser.value(baud), &command.baudRate))
        return fail(QStringLiteral("--baud needs a positive number, not \"%1\"").arg(parser.value(baud)));
    command.timeoutGiven = parser.isSet(timeout);
    if (parser.isSet(timeout) && !ReadSeconds(parser.value(timeout), &command.powerOnTimeoutSeconds))
        return fail(QStringLiteral("--timeout needs a number of seconds from 1 to %1, not \"%2\"")
                        .arg(kMaxSeconds)
                        .arg(parser.value(timeout)));
    if (parser.isSet(quitAfter) && !ReadSeconds(parser.value(quitAfter), &command.quitAfterSeconds))
        return fail(QStringLiteral("--quit-after needs a number of seconds from 1 to %1").arg(kMaxSeconds));

    const int operations = int(parser.isSet(read)) + int(parser.isSet(apply)) + int(parser.isSet(diff))
        + int(parser.isSet(edit)) + int(parser.isSet(conform));
    if (operations > 1)
        return fail(QStringLiteral("only one of --read, --apply, --diff, --edit and --conform can be used"));
    // Without an operation --profile is the window's profile for this run.
    if (parser.isSet(conform)) {
        if (command.profileFile.isEmpty())
            return fail(QStringLiteral("--conform needs --profile FILE"));
        // What is sent comes from the profile (and --units) alone, and the
        // read-back that follows is what shows it was put right.
        for (const QCommandLineOption* other : {&set, &only, &skip, &noVerify, &changedOnly, &output}) {
            if (parser.isSet(*other))
                return fail(QStringLiteral("--conform cannot be combined with --%1").arg(other->names().constLast()));
        }
        if (command.ports.isEmpty())
            return fail(QStringLiteral("--conform needs at least one --port DEVICE"));
        if (command.ports.removeDuplicates() > 0)
            return fail(QStringLiteral("each --port DEVICE can be given only once"));
        command.mode = CommandLine::Mode::Conform;
    }
    if (parser.isSet(signal)) {
        if (operations > 0)
            return fail(QStringLiteral("--signal cannot be combined with --read, --apply, --diff or --edit"));
        if (command.ports.size() != 1)
            return fail(QStringLiteral("--signal needs exactly one --port DEVICE"));
        command.mode = CommandLine::Mode::Signal;
    }
    if ((parser.isSet(seconds) || parser.isSet(interval)) && !parser.isSet(signal))
        return fail(QStringLiteral("--seconds and --interval need --signal"));
    if (parser.isSet(seconds) && !ReadSeconds(parser.value(seconds), &command.signalSeconds))
        return fail(QStringLiteral("--seconds needs a number of seconds from 1 to %1, not \"%2\"")
                        .arg(kMaxSeconds)
                        .arg(parser.value(seconds)));
    if (parser.isSet(interval)) {
        bool number = false;
        const double value = parser.value(interval).toDouble(&number);
        if (!number || value < 0.5 || value > 10)
            return fail(QStringLiteral("--interval needs seconds from 0.5 to 10, not \"%1\"").arg(parser.value(interval)));
        command.signalIntervalMs = static_cast<int>(value * 1000 + 0.5);
    }
    if (parser.isSet(output) && !parser.isSet(edit) && !parser.isSet(changedOnly))
        return fail(QStringLiteral("--output needs --edit or --diff --changed-only"));
    if (parser.isSet(changedOnly)) {
        if (!parser.isSet(diff) || !parser.isSet(output) || parser.value(output).isEmpty())
            return fail(QStringLiteral("--changed-only needs --diff and --output FILE"));
        if (parser.values(port).size() != 1 || parser.isSet(repeat) || parser.isSet(units))
            return fail(QStringLiteral("--changed-only writes one file: give one --port, without --repeat or --units"));
        command.changedOnly = true;
        command.outputFile = parser.value(output);
    }
    if (parser.isSet(edit)) {
        command.mode = CommandLine::Mode::Edit;
        command.file = parser.value(edit);
        command.outputFile = parser.value(output);
        command.settings = parser.values(set);
        if (command.file.isEmpty() || command.outputFile.isEmpty())
            return fail(QStringLiteral("--edit needs a file name and --output FILE"));
        if (!command.ports.isEmpty() || parser.isSet(units) || parser.isSet(repeat) || parser.isSet(noVerify)
            || parser.isSet(logFile) || parser.isSet(reportFile) || parser.isSet(communication))
            return fail(QStringLiteral("--edit works on the file alone: it takes only --set and --output"));
        for (const QString& setting : command.settings) {
            if (setting.indexOf(QLatin1Char('=')) <= 0)
                return fail(QStringLiteral("--set needs LABEL=VALUE, not \"%1\"").arg(setting));
        }
        return command;
    }
    if (operations == 1 && !parser.isSet(conform)) {
        const QCommandLineOption& chosen = parser.isSet(read) ? read : parser.isSet(apply) ? apply : diff;
        command.mode = parser.isSet(read)    ? CommandLine::Mode::Read
                       : parser.isSet(apply) ? CommandLine::Mode::Apply
                                             : CommandLine::Mode::Diff;
        command.file = parser.value(chosen);
        if (command.file.isEmpty())
            return fail(QStringLiteral("--read, --apply and --diff need a file name"));
        if (command.ports.isEmpty())
            return fail(QStringLiteral("--read, --apply and --diff need at least one --port DEVICE"));
        if (command.ports.removeDuplicates() > 0)
            return fail(QStringLiteral("each --port DEVICE can be given only once"));
    }
    command.settings = parser.values(set);
    command.unitsFile = parser.value(units);
    command.repeat = parser.isSet(repeat);
    command.verify = !parser.isSet(noVerify);
    command.logFile = parser.value(logFile);
    command.reportFile = parser.value(reportFile);
    const bool changesFile = command.mode == CommandLine::Mode::Apply || command.mode == CommandLine::Mode::Diff;
    if (parser.isSet(units) && !changesFile && command.mode != CommandLine::Mode::Conform)
        return fail(QStringLiteral("--units needs --apply, --diff or --conform"));
    if (parser.isSet(set) && !changesFile)
        return fail(QStringLiteral("--set and --units need --apply or --diff"));
    for (const QString& setting : command.settings) {
        if (setting.indexOf(QLatin1Char('=')) <= 0)
            return fail(QStringLiteral("--set needs LABEL=VALUE, not \"%1\"").arg(setting));
    }
    command.onlyLabels = parser.values(only);
    command.skipLabels = parser.values(skip);
    if ((parser.isSet(only) || parser.isSet(skip)) && !changesFile)
        return fail(QStringLiteral("--only and --skip need --apply or --diff"));
    if (const std::optional<QString> unknown = UnknownFilterLabel({command.onlyLabels, command.skipLabels}))
        return fail(QStringLiteral("--only/--skip: no item is labelled \"%1\"").arg(*unknown));
    if ((command.repeat || parser.isSet(noVerify) || parser.isSet(logFile) || parser.isSet(reportFile))
        && !command.IsBatch())
        return fail(QStringLiteral("--repeat, --no-verify, --log and --report need --read, --apply, --diff or --conform"));
    command.communicationMode = parser.isSet(communication);
    command.hexDisplay = parser.isSet(hexDisplay);
    command.timeStamps = parser.isSet(timeStamps);
    if (command.timeStamps && !command.communicationMode)
        return fail(QStringLiteral("--time-stamps needs --communication"));
    if ((command.communicationMode || command.hexDisplay) && command.IsBatch())
        return fail(QStringLiteral("--communication and --hex-display are for the window, not for --read, --apply, "
                                   "--diff or --conform"));
    if (command.hexDisplay && !command.communicationMode)
        return fail(QStringLiteral("--hex-display needs --communication"));
    return command;
}
