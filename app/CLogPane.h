#pragma once

#include <QByteArray>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>

class QMenu;

// The log pane: one entry per logged line, starting afresh when the text
// would pass its limit. In communication mode it is also the terminal
// screen: typed characters are handed out as bytes instead of inserted.
class CLogPane : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kMaxCharacters = 30000;
    // While entries keep coming (a busy line brings fifty a second), the
    // text is brought up to date at most once per this many milliseconds:
    // ten pictures a second are more than anyone reads of a flood, and each
    // costs a layout and a repaint of the pane and its scroll bar. The first
    // entry after a quiet spell (a typed character's echo) shows at once.
    static constexpr int kShowPeriodMs = 100;

    explicit CLogPane(QWidget* parent = nullptr);

    // Appends one entry. Entries are separated by CR LF; when the old text
    // and a separator are already longer than kMaxCharacters, the old
    // entries are discarded and the pane holds the new one alone.
    // The first entry after a quiet spell is shown at once; entries that
    // follow it within kShowPeriodMs are shown together when it ends.
    void AppendLog(const QString& text);
    // A hex entry: its text is `prefix` + `hex`.
    void AppendHexEntry(const QString& prefix, const QString& hex) { AppendLog(prefix + hex); }
    // While paused the pane does not move; entries are kept as usual.
    void SetDisplayPaused(bool paused);
    bool IsDisplayPaused() const { return m_paused; }
    void ClearLog();
    // An entry as the pane shows it: line ends as LF, and a command's
    // closing carriage return dropped (the log itself keeps it).
    static QString DisplayText(const QString& text);
    // Characters of the text as the log counts them (separators as CR LF),
    // entries still waiting to be shown included.
    int CharacterCount() const { return m_characterCount; }
    // Shows the waiting entries now (before reading or grabbing the text).
    void ShowPendingEntries();

    // Communication mode: keys go to the terminal instead of the text.
    void SetTerminalInput(bool on);

    // The whole text as shown, entries still waiting included (lines end in
    // LF).
    QString WholeText();
    // Writes WholeText() to `path` as UTF-8 (line ends as the platform's
    // text files have them), replacing the file only once it is complete.
    // False, with the reason in `why`, when it cannot.
    bool SaveTo(const QString& path, QString* why = nullptr);
    // The context menu: the edit box's own entries, then 保存日志…, which
    // emits saveLogRequested. The caller owns the menu.
    QMenu* CreateContextMenu();

signals:
    void bytesTyped(const QByteArray& bytes);
    // 保存日志… was chosen: whoever shows the pane asks for the file.
    void saveLogRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void ScrollToEnd();
    void OnShowPeriodEnd();

    int m_characterCount = 0;
    bool m_terminalInput = false;
    bool m_paused = false;
    // Entries counted but not yet in the text, and whether the text starts
    // afresh with them.
    QStringList m_pending;
    bool m_pendingStartsAfresh = false;
    QTimer m_showPeriod;
};
