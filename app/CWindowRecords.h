#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CConfigFile;
class CDeviceController;
class CFileModeBar;
class CVisitRecorder;
class CWindowProfile;
class QWidget;

// The main window's service record: 设备档案 opened on the record in use,
// a snapshot restored to the attached terminal (through the load of a
// file, as 从文件配置 does) or shown as a file, and the record's location
// chosen there.
class CWindowRecords : public QObject {
    Q_OBJECT

public:
    struct Parts {
        CDeviceController* device = nullptr;
        CFileModeBar* fileBar = nullptr;
        CConfigFile* configFile = nullptr;
        CWindowProfile* profile = nullptr;
        std::shared_ptr<CVisitRecorder> recorder;  // none without a record
        QWidget* window = nullptr;
        QString folder;  // where a restored snapshot's file is written
        // Hears of a location chosen in 设备档案 (kept for the next start).
        std::function<void(const QString&)> locationChosen;
    };

    CWindowRecords(QString location, Parts parts, QObject* parent = nullptr);

    QString Location() const { return m_location; }
    void ShowDialog();
    void RestoreFromRecord(const QString& deviceKey, const QByteArray& report);

private:
    // The record's key of the terminal on the line; "" when none is
    // attached in configuration mode.
    QString AttachedKey() const;

    QString m_location;
    Parts m_parts;
};
