#pragma once

#include <QByteArray>
#include <QPlainTextEdit>

// The log pane: one entry per logged line, starting afresh when the text
// would pass its limit. In communication mode it is also the terminal
// screen: typed characters are handed out as bytes instead of inserted.
class CLogPane : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kMaxCharacters = 30000;

    explicit CLogPane(QWidget* parent = nullptr);

    // Appends one entry. Entries are separated by CR LF; when the old text
    // and a separator are already longer than kMaxCharacters, the old
    // entries are discarded and the pane holds the new one alone.
    void AppendLog(const QString& text);
    void ClearLog();
    // Characters of the text as the log counts them (separators as CR LF).
    int CharacterCount() const { return m_characterCount; }

    // Communication mode: keys go to the terminal instead of the text.
    void SetTerminalInput(bool on);

signals:
    void bytesTyped(const QByteArray& bytes);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void ScrollToEnd();

    int m_characterCount = 0;
    bool m_terminalInput = false;
};
