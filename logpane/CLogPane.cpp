#include "logpane/CLogPane.h"

#include "logpane/CLogAccessible.h"
#include "logpane/CLogFindBar.h"
#include "logpane/CLogScrollBar.h"
#include "resources/Texts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSaveFile>
#include <QScrollBar>
#include <QStringEncoder>
#include <QStyleHints>

#include <algorithm>
#include <cmath>

namespace {

// Space between the text and the pane's edges, as in the toolkit's edit boxes.
constexpr int kMargin = 4;
constexpr int kTopMargin = 2;
// Marks of the search: every match, and the one shown.
const QColor kMatchColor(255, 236, 140);
const QColor kCurrentMatchColor(255, 170, 60);

QByteArray EncodeTyped(const QString& text)
{
    QStringEncoder encoder("GBK");
    return encoder.isValid() ? QByteArray(encoder.encode(text)) : text.toLatin1();
}

// The toolkit's own menu texts (and their translations), and the shortcut
// after them as its edit boxes show it.
QString MenuText(const char* text, QKeySequence::StandardKey key)
{
    QString shown = QCoreApplication::translate("QWidgetTextControl", text);
    if (!QCoreApplication::testAttribute(Qt::AA_DontShowShortcutsInContextMenus)
        && QGuiApplication::styleHints()->showShortcutsInContextMenus())
        shown += QLatin1Char('\t') + QKeySequence(key).toString(QKeySequence::NativeText);
    return shown;
}

bool IsWordCharacter(QChar ch)
{
    return !ch.isSpace() && !ch.isPunct() && !ch.isSymbol();
}

}  // namespace

CLogPane::CLogPane(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    CLogAccessible::Install();
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBar(new CLogScrollBar(this));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Always there, so that the width the text wraps at does not depend on
    // whether the text needs the bar.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    m_findBar = new CLogFindBar(this);
    m_findBar->hide();
    connect(m_findBar, &CLogFindBar::findTextChanged, this, [this](const QString& text) {
        m_findText = text;
        m_currentMatch = -1;
        UpdateMatches(0);
        StepMatch(+1);
    });
    connect(m_findBar, &CLogFindBar::nextRequested, this, &CLogPane::FindNext);
    connect(m_findBar, &CLogFindBar::previousRequested, this, &CLogPane::FindPrevious);
    connect(m_findBar, &CLogFindBar::closeRequested, this, &CLogPane::CloseFindBar);
    m_showPeriod.setSingleShot(true);
    m_showPeriod.setInterval(kShowPeriodMs);
    connect(&m_showPeriod, &QTimer::timeout, this, &CLogPane::OnShowPeriodEnd);
    ApplyFonts();
}

CLogPane::~CLogPane() = default;

// ---------------------------------------------------------------- entries

QString CLogPane::DisplayText(const QString& text)
{
    QString shown = text;
    // A command is logged exactly as sent, closing carriage return and all;
    // shown, that return would only add an empty line.
    if (shown.endsWith(QLatin1Char('\r')))
        shown.chop(1);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return shown;
}

void CLogPane::AppendLog(const QString& text)
{
    AppendEntry(text, -1);
}

void CLogPane::AppendLog(const QString& text, EntryKind kind)
{
    if (kind == EntryKind::Hex)
        AppendHexEntry(QString(), text);
    else
        AppendEntry(text, -1);
}

void CLogPane::AppendHexEntry(const QString& prefix, const QString& hex)
{
    AppendEntry(prefix + hex, static_cast<int>(prefix.size()));
}

void CLogPane::AppendEntry(const QString& text, int hexStart)
{
    const QString shown = DisplayText(text);
    if (shown.size() != text.size())
        hexStart = -1;  // a dump has no line ends; this is text
    const int separator = m_characterCount > 0 ? 2 : 0;
    // The limit is tested on the old text and its separator, before the new
    // entry: a pane holding 29998 characters still takes one more entry.
    if (m_characterCount == 0 || m_characterCount + separator > kMaxCharacters) {
        // Start afresh: the old entries go, the new one stays alone.
        m_pending.clear();
        m_pendingStartsAfresh = true;
        m_characterCount = static_cast<int>(text.size());
    } else {
        m_characterCount += separator + static_cast<int>(text.size());
    }
    m_pending.append({shown, hexStart});
    // On a busy line every read is an entry: showing them once per period
    // instead of once per entry keeps the window responsive, and entries
    // discarded by a fresh start before they were shown cost nothing.
    if (m_showPeriod.isActive())
        return;
    ShowPendingEntries();
    m_showPeriod.start();
}

void CLogPane::ShowPendingEntries()
{
    if (m_pending.isEmpty() || m_paused)
        return;
    const bool following = IsFollowingEnd();
    const int firstNewBlock = m_pendingStartsAfresh ? 0 : m_lines.BlockCount();
    if (m_pendingStartsAfresh) {
        m_lines.Clear();
        ClearSelection();
    }
    for (const PendingEntry& entry : std::as_const(m_pending))
        m_lines.AppendEntry(entry.shown, entry.hexStart);
    m_pending.clear();
    m_pendingStartsAfresh = false;
    UpdateScrollRange();
    if (following)
        ScrollToEnd();
    UpdateMatches(firstNewBlock);
    viewport()->update();
}

void CLogPane::OnShowPeriodEnd()
{
    if (m_pending.isEmpty() || m_paused)
        return;  // quiet during the period: the next entry is shown at once
    ShowPendingEntries();
    m_showPeriod.start();
}

void CLogPane::ClearLog()
{
    m_pending.clear();
    m_pendingStartsAfresh = false;
    m_lines.Clear();
    ClearSelection();
    m_characterCount = 0;
    UpdateScrollRange();
    UpdateMatches(0);
    viewport()->update();
}

void CLogPane::SetDisplayPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (!paused)
        ShowPendingEntries();
}

void CLogPane::SetTerminalInput(bool on)
{
    m_terminalInput = on;
    // Typed characters (an input method's too) go to the terminal.
    setAttribute(Qt::WA_InputMethodEnabled, on);
}

QString CLogPane::WholeText()
{
    if (!m_paused) {
        ShowPendingEntries();
        return toPlainText();
    }
    QStringList parts;
    if (!m_pendingStartsAfresh && !m_lines.IsEmpty())
        parts.append(toPlainText());
    for (const PendingEntry& entry : std::as_const(m_pending))
        parts.append(CLogLines::SplitEntry(entry.shown).join(QLatin1Char('\n')));
    return parts.join(QLatin1Char('\n'));
}

bool CLogPane::SaveTo(const QString& path, QString* why)
{
    QSaveFile file(path);
    QByteArray text = WholeText().toUtf8();
    if (!text.isEmpty())
        text += '\n';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(text) != text.size() || !file.commit()) {
        if (why)
            *why = file.errorString();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- menu

QMenu* CLogPane::createStandardContextMenu()
{
    auto* menu = new QMenu(this);
    QAction* copyAction = menu->addAction(MenuText("&Copy", QKeySequence::Copy), this, &CLogPane::copy);
    copyAction->setObjectName(QStringLiteral("edit-copy"));
    copyAction->setEnabled(HasSelection());
    if (m_terminalInput) {
        QAction* pasteAction = menu->addAction(MenuText("&Paste", QKeySequence::Paste), this, &CLogPane::paste);
        pasteAction->setObjectName(QStringLiteral("edit-paste"));
        const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
        pasteAction->setEnabled(clipboard && clipboard->hasText());
    }
    menu->addSeparator();
    QAction* all = menu->addAction(MenuText("Select All", QKeySequence::SelectAll), this, &CLogPane::selectAll);
    all->setObjectName(QStringLiteral("select-all"));
    all->setEnabled(!m_lines.IsEmpty());
    return menu;
}

QMenu* CLogPane::CreateContextMenu()
{
    QMenu* menu = createStandardContextMenu();
    menu->setObjectName(QStringLiteral("logPaneMenu"));
    menu->addSeparator();
    QAction* save = menu->addAction(Texts::SaveLogMenuEntry(), this, &CLogPane::saveLogRequested);
    save->setObjectName(QStringLiteral("saveLogAction"));
    save->setEnabled(!m_lines.IsEmpty() || !m_pending.isEmpty());
    // Communication mode hides the 清空 button under the terminal panel;
    // here it is at hand in either mode.
    QAction* clear = menu->addAction(Texts::ClearLog(), this, &CLogPane::ClearLog);
    clear->setObjectName(QStringLiteral("clearLogAction"));
    clear->setEnabled(save->isEnabled());
    return menu;
}

void CLogPane::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

// ---------------------------------------------------------------- selection

QString CLogPane::SelectedText() const
{
    return m_lines.Text(std::min(m_anchor, m_cursor), std::max(m_anchor, m_cursor));
}

void CLogPane::SelectionRange(int* start, int* end) const
{
    *start = m_lines.OffsetOf(std::min(m_anchor, m_cursor));
    *end = m_lines.OffsetOf(std::max(m_anchor, m_cursor));
}

void CLogPane::SetSelectionRange(int start, int end)
{
    SetSelection(m_lines.PosOf(start), m_lines.PosOf(end));
}

void CLogPane::copy()
{
    if (HasSelection())
        QGuiApplication::clipboard()->setText(SelectedText());
}

void CLogPane::selectAll()
{
    SetSelection({}, m_lines.End());
    CopyToSelectionClipboard();
}

void CLogPane::paste()
{
    if (!m_terminalInput)
        return;
    const QMimeData* source = QGuiApplication::clipboard()->mimeData();
    if (source && source->hasText())
        emit bytesTyped(EncodeTyped(source->text()));
}

void CLogPane::SetSelection(LogPos anchor, LogPos cursor)
{
    if (anchor == m_anchor && cursor == m_cursor)
        return;
    m_anchor = anchor;
    m_cursor = cursor;
    viewport()->update();
}

void CLogPane::ClearSelection()
{
    m_anchor = m_cursor = LogPos{};
    m_selecting = false;
}

void CLogPane::CopyToSelectionClipboard()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (HasSelection() && clipboard->supportsSelection())
        clipboard->setText(SelectedText(), QClipboard::Selection);
}

LogPos CLogPane::PosAt(QPoint point)
{
    if (m_lines.IsEmpty())
        return {};
    const int row = FirstVisibleRow() + static_cast<int>(std::floor((point.y() - kTopMargin) / RowHeight()));
    if (row < 0)
        return {};
    if (row >= m_lines.RowCount())
        return m_lines.End();
    const LogPos at = m_lines.BlockRowOf(row);
    return {at.block, m_lines.OffsetAt(at.block, at.offset, point.x() - kMargin)};
}

void CLogPane::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const LogPos at = PosAt(event->position().toPoint());
    SetSelection(event->modifiers() & Qt::ShiftModifier ? m_anchor : at, at);
    m_selecting = true;
    event->accept();
}

void CLogPane::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_selecting || !(event->buttons() & Qt::LeftButton))
        return;
    QPoint at = event->position().toPoint();
    // Dragging past the top or the bottom scrolls a row at a time.
    QScrollBar* bar = verticalScrollBar();
    if (at.y() < 0)
        bar->setValue(bar->value() - 1);
    else if (at.y() > viewport()->height())
        bar->setValue(bar->value() + 1);
    at.setY(std::clamp(at.y(), 0, viewport()->height()));
    SetSelection(m_anchor, PosAt(at));
}

void CLogPane::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_selecting) {
        m_selecting = false;
        CopyToSelectionClipboard();
    }
}

void CLogPane::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_lines.IsEmpty())
        return;
    const LogPos at = PosAt(event->position().toPoint());
    const QString& text = m_lines.BlockText(at.block);
    int start = at.offset;
    int end = at.offset;
    while (start > 0 && IsWordCharacter(text.at(start - 1)))
        --start;
    while (end < text.size() && IsWordCharacter(text.at(end)))
        ++end;
    SetSelection({at.block, start}, {at.block, end});
    CopyToSelectionClipboard();
}

// ---------------------------------------------------------------- keys

bool CLogPane::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // The pane's own keys, and in communication mode every key that
        // types a character, come here before the window's shortcuts.
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
        const bool types = m_terminalInput && !key->text().isEmpty() && modifiers == Qt::NoModifier;
        if (types || key->matches(QKeySequence::Find) || key->matches(QKeySequence::Copy)
            || key->matches(QKeySequence::SelectAll)) {
            event->accept();
            return true;
        }
    }
    // In communication mode Tab is a character for the terminal, not a
    // step to the next control.
    if (event->type() == QEvent::KeyPress && m_terminalInput) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void CLogPane::keyPressEvent(QKeyEvent* event)
{
    // Search, copy and select all: in both modes, never sent.
    if (event->matches(QKeySequence::Find)) {
        OpenFindBar();
    } else if (event->matches(QKeySequence::FindNext) && IsFindBarOpen()) {
        FindNext();
    } else if (event->matches(QKeySequence::FindPrevious) && IsFindBarOpen()) {
        FindPrevious();
    } else if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (KeyScrolls(event)) {
        // Paging keys type nothing: they scroll in both modes.
    } else if (m_terminalInput) {
        QString text = event->text();
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            text = QStringLiteral("\r");
        SendTyped(text);
    } else if (event->key() == Qt::Key_Escape && IsFindBarOpen()) {
        CloseFindBar();
    } else if (!KeySelects(event)) {
        event->ignore();  // the window's, as a read-only edit box leaves it
        return;
    }
    event->accept();
}

bool CLogPane::KeyScrolls(QKeyEvent* event)
{
    QScrollBar* bar = verticalScrollBar();
    const bool control = event->modifiers() & Qt::ControlModifier;
    if (event->modifiers() & Qt::ShiftModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_PageUp:
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        return true;
    case Qt::Key_PageDown:
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        return true;
    case Qt::Key_Home:
        if (!control)
            return false;
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        return true;
    case Qt::Key_End:
        if (!control)
            return false;
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        return true;
    default:
        return false;
    }
}

bool CLogPane::KeySelects(QKeyEvent* event)
{
    // Read-only: the arrows move an unseen cursor; with Shift they select.
    if (m_lines.IsEmpty())
        return false;
    LogPos to = m_cursor;
    const QString& text = m_lines.BlockText(to.block);
    const int row = m_lines.RowOf(to);
    switch (event->key()) {
    case Qt::Key_Left:
        to = to.offset > 0 ? LogPos{to.block, to.offset - 1}
                           : (to.block > 0 ? LogPos{to.block - 1, int(m_lines.BlockText(to.block - 1).size())} : to);
        break;
    case Qt::Key_Right:
        to = to.offset < text.size() ? LogPos{to.block, to.offset + 1}
                                     : (to.block + 1 < m_lines.BlockCount() ? LogPos{to.block + 1, 0} : to);
        break;
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const LogPos here = m_lines.BlockRowOf(row);
        const qreal x = m_lines.X(to.block, here.offset, to.offset);
        const LogPos there = m_lines.BlockRowOf(row + (event->key() == Qt::Key_Up ? -1 : 1));
        to = {there.block, m_lines.OffsetAt(there.block, there.offset, x)};
        break;
    }
    case Qt::Key_Home:
        to = (event->modifiers() & Qt::ControlModifier) ? LogPos{} : LogPos{to.block, 0};
        break;
    case Qt::Key_End:
        to = (event->modifiers() & Qt::ControlModifier) ? m_lines.End() : LogPos{to.block, int(text.size())};
        break;
    default:
        return false;
    }
    SetSelection(event->modifiers() & Qt::ShiftModifier ? m_anchor : to, to);
    ScrollToRow(m_lines.RowOf(to));
    return true;
}

void CLogPane::SendTyped(const QString& text)
{
    // Each typed character goes to the terminal at once.
    for (const QChar ch : text)
        emit bytesTyped(EncodeTyped(QString(ch)));
}

void CLogPane::inputMethodEvent(QInputMethodEvent* event)
{
    if (m_terminalInput)
        SendTyped(event->commitString());
    event->accept();
}

QVariant CLogPane::inputMethodQuery(Qt::InputMethodQuery query) const
{
    if (query == Qt::ImEnabled)
        return m_terminalInput;
    return QAbstractScrollArea::inputMethodQuery(query);
}

// ---------------------------------------------------------------- search

bool CLogPane::IsFindBarOpen() const
{
    return !m_findBar->isHidden();
}

void CLogPane::OpenFindBar()
{
    if (!IsFindBarOpen()) {
        m_findBar->show();
        setViewportMargins(0, 0, 0, m_findBar->sizeHint().height());
        PlaceFindBar();
        // A short selection is what the user wants to find.
        if (HasSelection() && m_anchor.block == m_cursor.block)
            m_findBar->SetFindText(SelectedText());
        else if (!m_findText.isEmpty())
            UpdateMatches(0);
    }
    m_findBar->FocusText();
}

void CLogPane::CloseFindBar()
{
    if (!IsFindBarOpen())
        return;
    const bool hadFocus = m_findBar->isAncestorOf(QApplication::focusWidget());
    m_findBar->hide();
    setViewportMargins(0, 0, 0, 0);
    m_matches.clear();
    m_currentMatch = -1;
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);
    viewport()->update();
}

void CLogPane::SetFindText(const QString& text)
{
    OpenFindBar();
    m_findBar->SetFindText(text);
}

void CLogPane::PlaceFindBar()
{
    if (!IsFindBarOpen())
        return;
    const QRect view = viewport()->geometry();
    m_findBar->setGeometry(view.left(), view.bottom() + 1, view.width(),
                           m_findBar->sizeHint().height());
}

void CLogPane::UpdateMatches(int fromBlock)
{
    if (!IsFindBarOpen())
        return;
    if (fromBlock == 0) {
        m_matches = m_lines.Find(m_findText);
        m_currentMatch = std::min(m_currentMatch, MatchCount() - 1);
    } else {
        m_matches.append(m_lines.Find(m_findText, fromBlock));
    }
    m_findBar->ShowCount(m_currentMatch + 1, MatchCount());
}

void CLogPane::FindNext()
{
    StepMatch(+1);
}

void CLogPane::FindPrevious()
{
    StepMatch(-1);
}

void CLogPane::StepMatch(int step)
{
    if (m_matches.isEmpty()) {
        m_findBar->ShowCount(0, 0);
        viewport()->update();
        return;
    }
    int next = 0;
    if (m_currentMatch >= 0) {
        next = (m_currentMatch + step + MatchCount()) % MatchCount();
    } else {
        // The first one from the top of the view onwards (or before it).
        const int top = FirstVisibleRow();
        const auto below = std::find_if(m_matches.begin(), m_matches.end(), [&](const LogMatch& match) {
            return m_lines.RowOf({match.block, match.start}) >= top;
        });
        next = static_cast<int>(below - m_matches.begin());
        if (step < 0)
            --next;
        next = (next + MatchCount()) % MatchCount();
    }
    ShowMatch(next);
}

void CLogPane::ShowMatch(int index)
{
    m_currentMatch = index;
    const LogMatch& match = m_matches[index];
    ScrollToRow(m_lines.RowOf({match.block, match.start}));
    m_findBar->ShowCount(index + 1, MatchCount());
    viewport()->update();
}

// ---------------------------------------------------------------- geometry

void CLogPane::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        ApplyFonts();
}

void CLogPane::ApplyFonts()
{
    m_textGlyphs.SetFont(font());
    QFont hex = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (font().pointSizeF() > 0)
        hex.setPointSizeF(font().pointSizeF());
    else
        hex.setPixelSize(font().pixelSize());
    m_hexGlyphs.SetFont(hex);
    m_rowHeight = std::ceil(std::max(m_textGlyphs.LineSpacing(), m_hexGlyphs.LineSpacing()));
    m_baseline = std::round(std::max(m_textGlyphs.Ascent(), m_hexGlyphs.Ascent()));
    m_lines.Relayout();
    UpdateScrollRange();
    viewport()->update();
}

void CLogPane::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    PlaceFindBar();
    QScrollBar* bar = verticalScrollBar();
    const bool following = IsFollowingEnd();
    // Keeps the first line in view where it was, as the rows change.
    const LogPos top = m_lines.IsEmpty() ? LogPos{} : m_lines.BlockRowOf(FirstVisibleRow());
    const int topOffset = m_lines.IsEmpty() ? 0 : m_lines.RowStart(top.block, top.offset);
    UpdateLayoutWidth();
    UpdateScrollRange();
    if (following)
        ScrollToEnd();
    else if (!m_lines.IsEmpty())
        bar->setValue(m_lines.RowOf({top.block, topOffset}));
}

void CLogPane::UpdateLayoutWidth()
{
    m_lines.SetWidth(viewport()->width() - 2 * kMargin);
}

int CLogPane::VisibleRowCount() const
{
    return std::max(1, static_cast<int>((viewport()->height() - kTopMargin) / m_rowHeight));
}

int CLogPane::FirstVisibleRow() const
{
    return verticalScrollBar()->value();
}

bool CLogPane::IsRowVisible(int row) const
{
    return row >= FirstVisibleRow() && row < FirstVisibleRow() + VisibleRowCount();
}

bool CLogPane::IsEndVisible() const
{
    return m_lines.IsEmpty() || IsRowVisible(m_lines.RowCount() - 1);
}

void CLogPane::UpdateScrollRange()
{
    QScrollBar* bar = verticalScrollBar();
    const int visible = VisibleRowCount();
    bar->setRange(0, std::max(0, m_lines.RowCount() - visible));
    bar->setPageStep(visible);
    bar->setSingleStep(1);
}

bool CLogPane::IsFollowingEnd() const
{
    // At the end, the pane follows the newest entry; scrolled up, or showing
    // a match, it stays where the user put it.
    const QScrollBar* bar = verticalScrollBar();
    return bar->value() >= bar->maximum() && !(IsFindBarOpen() && m_currentMatch >= 0);
}

void CLogPane::ScrollToEnd()
{
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

void CLogPane::ScrollToRow(int row)
{
    if (IsRowVisible(row))
        return;
    // Not at the very edge: some lines around it tell where it stands.
    verticalScrollBar()->setValue(row - VisibleRowCount() / 3);
}

void CLogPane::scrollContentsBy(int, int)
{
    viewport()->update();
}

// ---------------------------------------------------------------- drawing

void CLogPane::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const int first = FirstVisibleRow();
    const int rows = VisibleRowCount() + 1;
    for (int i = 0; i < rows && first + i < m_lines.RowCount(); ++i)
        DrawRow(painter, first + i, kTopMargin + i * RowHeight());
}

void CLogPane::DrawRow(QPainter& painter, int row, qreal y)
{
    const LogPos at = m_lines.BlockRowOf(row);
    const int block = at.block;
    const int rowInBlock = at.offset;
    const int start = m_lines.RowStart(block, rowInBlock);
    const int end = m_lines.RowEnd(block, rowInBlock);
    const auto span = [&](int from, int to) {
        const qreal left = kMargin + m_lines.X(block, rowInBlock, from);
        const qreal right = kMargin + m_lines.X(block, rowInBlock, to);
        return QRectF(left, y, right - left, RowHeight());
    };

    // The matches on this row.
    const auto firstOfBlock = std::lower_bound(m_matches.cbegin(), m_matches.cend(), block,
                                               [](const LogMatch& match, int b) { return match.block < b; });
    for (auto match = firstOfBlock; match != m_matches.cend() && match->block == block; ++match) {
        const int from = std::max(match->start, start);
        const int to = std::min(match->start + match->length, end);
        if (from >= to)
            continue;
        const bool current = m_currentMatch >= 0 && match - m_matches.cbegin() == m_currentMatch;
        painter.fillRect(span(from, to), current ? kCurrentMatchColor : kMatchColor);
    }

    painter.setPen(palette().color(QPalette::Text));
    DrawText(painter, block, rowInBlock, y, start, end);

    // The selection, drawn over it in the selection's colours.
    const LogPos first = std::min(m_anchor, m_cursor);
    const LogPos last = std::max(m_anchor, m_cursor);
    if (!(first < last) || block < first.block || block > last.block)
        return;
    const int from = std::max(start, block == first.block ? first.offset : 0);
    int to = std::min(end, block == last.block ? last.offset : end);
    QRectF selected = span(from, to);
    // A selection going on past the line's end shows its line break.
    if (block < last.block && rowInBlock + 1 == m_lines.RowsOf(block))
        selected.setWidth(selected.width() + m_textGlyphs.Width(u' '));
    if (selected.width() <= 0)
        return;
    painter.save();
    painter.fillRect(selected, palette().color(QPalette::Highlight));
    painter.setClipRect(selected);
    painter.setPen(palette().color(QPalette::HighlightedText));
    DrawText(painter, block, rowInBlock, y, start, end);
    painter.restore();
}

void CLogPane::DrawText(QPainter& painter, int block, int rowInBlock, qreal y, int from, int to)
{
    const QStringView text(m_lines.BlockText(block));
    const QPointF origin(kMargin, y + Baseline());
    const int hexStart = m_lines.HexStart(block);
    if (hexStart >= 0 && to > hexStart) {
        // The dump's digits, in columns.
        const int dumpFrom = std::max(from, hexStart);
        m_hexGlyphs.Draw(painter, text.mid(dumpFrom, to - dumpFrom), m_lines.X(block, rowInBlock, dumpFrom), origin,
                         m_hexGlyphs.Width(u'0'));
        to = dumpFrom;
    }
    if (from < to)
        m_textGlyphs.Draw(painter, text.mid(from, to - from), m_lines.X(block, rowInBlock, from), origin);
}
