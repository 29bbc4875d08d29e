#pragma once

#include "profiles/ProfileCheck.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CConfigFile;
class CDeviceController;
class CFileModeBar;
class CParameterSaver;
class CParameterTable;
class CProfileBar;
class CRecorderTap;
class QWidget;

// The main window's project profile: the check of every read-back (of the
// terminal's values as the device side read them, with the entry's module
// reply), its marks in the table, the state in the profile bar, and
// 按规范修正 through the load of a file, whose preview, save and
// verification are those of 从文件配置.
class CWindowProfile : public QObject {
    Q_OBJECT

public:
    // What the window lends it: its parts, where it may write the file a
    // 按规范修正 loads, the name of the port, and its log.
    struct Parts {
        CDeviceController* device = nullptr;
        CParameterTable* table = nullptr;
        CFileModeBar* fileBar = nullptr;
        CConfigFile* configFile = nullptr;
        CParameterSaver* saver = nullptr;
        QWidget* window = nullptr;
        QString folder;
        std::function<QString()> portName;
        std::function<void(const QString&)> log;
    };

    CWindowProfile(std::shared_ptr<CRecorderTap> tap, QObject* parent = nullptr);

    // The bar, made once; `chosen` hears of a profile the user chose.
    CProfileBar* CreateBar(QWidget* parent, std::function<void(const QString&)> chosen);
    // Before the first use: what it works with. The bar exists by then.
    void SetParts(Parts parts) { m_parts = std::move(parts); }
    CProfileBar* Bar() const { return m_bar; }

    // The profile to start with; a refused one is logged.
    void LoadStartProfile(const QString& file);
    // Every log line goes by: a report read and parsed is checked when its
    // task ends.
    void NoteLogLine(const QString& line);
    void OnTaskFinished(int code);
    // The marks again (a configuration file shown hides them).
    void MarkDeviations();
    // A load of another file: nothing of a 按规范修正 that never ran goes in.
    void EndConformLoad();
    bool IsConformPending() const { return m_conformPending; }
    // The preview of a 按规范修正's load: what it changes, ticked, and
    // what needs a person under it.
    bool ChooseConformChanges(const QStringList& changes, std::vector<bool>& ticked);

    const std::optional<ProfileCheckResult>& LastCheck() const { return m_lastCheck; }

signals:
    // Every check, once its lines are logged and its rows marked.
    void profileChecked(const ProfileCheckResult& check);
    // Only the checks of what was just read from the terminal (not those
    // of its last values against a newly chosen profile): what the record
    // keeps.
    void readBackChecked(const ProfileCheckResult& check);

private:
    void CheckReadBack();
    void CheckAgain();
    TerminalFacts CheckedFacts() const;
    void OnConformRequested();

    std::shared_ptr<CRecorderTap> m_tap;
    Parts m_parts;
    CProfileBar* m_bar = nullptr;
    // The terminal's values and module reply as last checked, and the check.
    std::unique_ptr<ParameterSet> m_checkedSet;
    std::optional<QString> m_checkedModule;
    std::optional<ProfileCheckResult> m_lastCheck;
    // A report was read and parsed during the task that runs now.
    bool m_reportLoaded = false;
    bool m_checkingReadBack = false;
    // 按规范修正 queued its load: its preview lists what needs a person.
    bool m_conformPending = false;
    QStringList m_conformNotes;
};
