#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// 保存接收数据…: every byte read from the port, unchanged and unfiltered,
// appended to a file until stopped. Independent of the display: the pane
// starting afresh, a paused display or hex display change nothing here.
// UI thread.
class CReceiveCapture {
public:
    ~CReceiveCapture() { Stop(); }

    // Creates (or empties) `path` and starts capturing. False, with the
    // system's reason in `why`, when the file cannot be made.
    bool Start(const QString& path, QString* why = nullptr);
    // Appends bytes; false when the file could not take them (disk full,
    // medium gone): the capture has then stopped and Problem() says why.
    bool Write(const QByteArray& bytes);
    // Writes what is buffered and closes the file.
    void Stop();

    bool IsRunning() const { return m_file.isOpen(); }
    QString Path() const { return m_file.fileName(); }
    qint64 BytesWritten() const { return m_written; }
    QString Problem() const { return m_problem; }

private:
    QFile m_file;
    qint64 m_written = 0;
    QString m_problem;
};
