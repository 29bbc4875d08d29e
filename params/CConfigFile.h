#pragma once

#include "params/ChangeSelection.h"
#include "params/ConfigFilePlan.h"
#include "device/IVisitRecorder.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class CDeviceController;
struct DeviceTask;

// A terminal's configuration kept in a file: the terminal's parameter report
// as received, from its first label to its "OK" and without zero bytes
// (line noise is not configuration), with CR CR LF line ends (the form
// files written by the Windows tool have, so files pass between the two).
// Saving reads the report from the connected terminal first; loading parses
// a file and then writes its number lists and parameters to the connected
// terminal.
class CConfigFile {
public:
    // The longest report a terminal sends; longer files are read this far.
    static constexpr int kMaxReportBytes = kMaxConfigReportBytes;
    // How much of a file is looked at: enough for kMaxReportBytes of report
    // text whatever its line ends.
    static constexpr qint64 kMaxFileBytes = 4 * qint64(kMaxReportBytes);

    explicit CConfigFile(CDeviceController& device);

    // ---- UI thread (after the file dialogs) ----
    void RequestSave(const QString& path);
    void RequestLoad(const QString& path);

    // ---- worker thread ----
    void SaveConfigFile(const QString& path);
    void LoadConfigFile(const QString& path);

    // The file's bytes for a report: every LF written as CR LF.
    static QByteArray ToFileText(const QByteArray& report);
    // A file's text as the parser reads it: CR CR LF, CR LF and bare LF line
    // ends all become CR LF; at most the first kMaxReportBytes bytes.
    static QByteArray FromFileText(const QByteArray& fileBytes);

    // Whether a file can be written at `path` (batch runs check this before
    // the terminal is caught); `why` says what is wrong.
    static bool CanWriteFile(const QString& path, QString* why = nullptr);

    // Values that replace the file's own in the loads that follow (batch
    // runs: one terminal's device ID, SIM number...). Any thread.
    void SetOverrides(std::vector<CellOverride> overrides);
    std::vector<CellOverride> Overrides() const;

    // Which of a file's changes are ticked at first in the loads that
    // follow (--only / --skip). Any thread.
    void SetChangeFilter(ChangeFilter filter);
    ChangeFilter GetChangeFilter() const;

    // Outcome of the last save to a file (batch runs report it).
    bool LastSaveSucceeded() const { return m_lastSaveSucceeded; }

private:
    static QString PathOf(const DeviceTask& task);
    bool WriteFile(const QString& path, const QByteArray& report);
    bool SendNumberList(int category, const ConfigFileLoad& load, IVisitRecorder::ChangeKind kind, qint64 startedMs);
    // A load that stops after sending a list ends the change it began.
    void EndLoadChange();
    void RefuseLoad(const SaveRefusal& refusal);

    CDeviceController& m_device;
    std::atomic<bool> m_lastSaveSucceeded{false};
    mutable std::mutex m_overridesLock;
    std::vector<CellOverride> m_overrides;
    ChangeFilter m_changeFilter;
};
