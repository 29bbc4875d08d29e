#pragma once

#include "logpane/CLogLines.h"
#include "logpane/CLogGlyphs.h"

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QList>
#include <QTimer>

class CLogFindBar;
class QMenu;
class QPainter;

// The log pane: one entry per logged line, starting afresh when the text
// would pass its limit. In communication mode it is also the terminal
// screen: typed characters are handed out as bytes instead of inserted.
//
// It lays out and draws only the rows on screen: a busy line brings fifty
// entries a second of up to thousands of characters each, and laying out
// and shaping all of them (as an edit box does) costs more than the rest of
// the program together. Rows are found from cached character widths
// (CLogLines) and drawn from cached glyphs (CLogGlyphs): no text is shaped.
class CLogPane : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kMaxCharacters = 30000;
    // While entries keep coming (a busy line brings fifty a second), the
    // text is brought up to date at most once per this many milliseconds:
    // ten pictures a second are more than anyone reads of a flood, and each
    // costs a layout and a repaint of the pane and its scroll bar. The first
    // entry after a quiet spell (a typed character's echo) shows at once.
    static constexpr int kShowPeriodMs = 100;

    // Text: shown as it is. Hex: a hex dump ("0d 0a 4f"), shown in columns
    // of sixteen bytes in a monospace font.
    enum class EntryKind { Text, Hex };

    explicit CLogPane(QWidget* parent = nullptr);
    ~CLogPane() override;

    // Appends one entry. Entries are separated by CR LF; when the old text
    // and a separator are already longer than kMaxCharacters, the old
    // entries are discarded and the pane holds the new one alone.
    // The first entry after a quiet spell is shown at once; entries that
    // follow it within kShowPeriodMs are shown together when it ends.
    void AppendLog(const QString& text);
    void AppendLog(const QString& text, EntryKind kind);
    // A hex dump after `prefix` (a time stamp, say): the text is prefix +
    // hex, exactly as AppendLog of it; the dump's rows start under its first
    // byte.
    void AppendHexEntry(const QString& prefix, const QString& hex);
    void ClearLog();
    // An entry as the pane shows it: line ends as LF, and a command's
    // closing carriage return dropped (the log itself keeps it).
    static QString DisplayText(const QString& text);
    // Characters of the text as the log counts them (separators as CR LF),
    // entries still waiting to be shown included.
    int CharacterCount() const { return m_characterCount; }
    // Shows the waiting entries now (before reading or grabbing the text).
    // Does nothing while the display is paused.
    void ShowPendingEntries();

    // Paused, the pane neither moves nor changes, so that it can be read,
    // selected from and searched; entries are still counted (and a fresh
    // start still drops the old ones), and resuming shows what the pane
    // would have shown. What waits is bounded by the fresh start.
    void SetDisplayPaused(bool paused);
    bool IsDisplayPaused() const { return m_paused; }

    // Communication mode: keys go to the terminal instead of the text.
    void SetTerminalInput(bool on);
    bool isReadOnly() const { return !m_terminalInput; }

    // The text shown (lines end in LF).
    QString toPlainText() const { return m_lines.Text(); }
    // The whole text, entries still waiting included (lines end in LF).
    QString WholeText();
    // Writes WholeText() to `path` as UTF-8 (line ends as the platform's
    // text files have them), replacing the file only once it is complete.
    // False, with the reason in `why`, when it cannot.
    bool SaveTo(const QString& path, QString* why = nullptr);
    // The pane's own entries: copy, paste (communication mode), select all.
    QMenu* createStandardContextMenu();
    // The context menu: the standard entries, then 保存日志…, which emits
    // saveLogRequested. The caller owns the menu.
    QMenu* CreateContextMenu();

    bool HasSelection() const { return m_anchor != m_cursor; }
    QString SelectedText() const;
    // The selection as offsets into toPlainText() (for assistive tools).
    void SelectionRange(int* start, int* end) const;
    void SetSelectionRange(int start, int end);

    // Search: the find bar below the text (Ctrl+F). Every match is marked;
    // stepping shows the next or previous one. Entries arriving keep the
    // match shown.
    void OpenFindBar();
    void CloseFindBar();
    bool IsFindBarOpen() const;
    CLogFindBar* FindBar() const { return m_findBar; }
    void SetFindText(const QString& text);
    int MatchCount() const { return static_cast<int>(m_matches.size()); }
    // The match shown, from 0; -1 when none.
    int CurrentMatch() const { return m_currentMatch; }
    void FindNext();
    void FindPrevious();

    // The rows as laid out, and which of them are in view.
    const CLogLines& Lines() const { return m_lines; }
    int FirstVisibleRow() const;
    int VisibleRowCount() const;
    bool IsRowVisible(int row) const;
    bool IsEndVisible() const;

public slots:
    void copy();
    void selectAll();
    // Communication mode: the clipboard goes to the terminal as typed bytes.
    void paste();

signals:
    void bytesTyped(const QByteArray& bytes);
    // 保存日志… was chosen: whoever shows the pane asks for the file.
    void saveLogRequested();

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

private:
    struct PendingEntry {
        QString shown;
        int hexStart = -1;
    };

    void AppendEntry(const QString& text, int hexStart);
    void OnShowPeriodEnd();
    void ApplyFonts();
    void UpdateLayoutWidth();
    void UpdateScrollRange();
    bool IsFollowingEnd() const;
    void ScrollToEnd();
    void ScrollToRow(int row);
    bool KeyScrolls(QKeyEvent* event);
    bool KeySelects(QKeyEvent* event);
    void SendTyped(const QString& text);

    // Mouse and selection.
    LogPos PosAt(QPoint point);
    void SetSelection(LogPos anchor, LogPos cursor);
    void ClearSelection();
    void CopyToSelectionClipboard();

    // Search.
    void PlaceFindBar();
    void UpdateMatches(int fromBlock);
    void ShowMatch(int index);
    void StepMatch(int step);

    // Drawing.
    qreal RowHeight() const { return m_rowHeight; }
    qreal Baseline() const { return m_baseline; }
    void DrawRow(QPainter& painter, int row, qreal y);
    void DrawSpans(QPainter& painter, int block, int rowInBlock, qreal y, int from, int to);
    void DrawText(QPainter& painter, int block, int rowInBlock, qreal y, int from, int to);

    CLogGlyphs m_textGlyphs;
    CLogGlyphs m_hexGlyphs;
    CLogLines m_lines{m_textGlyphs, m_hexGlyphs};
    qreal m_rowHeight = 16;
    qreal m_baseline = 12;

    int m_characterCount = 0;
    bool m_terminalInput = false;
    bool m_paused = false;
    // Entries counted but not yet in the text, and whether the text starts
    // afresh with them.
    QList<PendingEntry> m_pending;
    bool m_pendingStartsAfresh = false;
    QTimer m_showPeriod;

    LogPos m_anchor;
    LogPos m_cursor;
    bool m_selecting = false;

    CLogFindBar* m_findBar = nullptr;
    QString m_findText;
    QList<LogMatch> m_matches;
    int m_currentMatch = -1;
};
