#include "app/CLogPane.h"

#include "resources/Texts.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QSaveFile>
#include <QScrollBar>
#include <QStringEncoder>

namespace {

QByteArray EncodeTyped(const QString& text)
{
    QStringEncoder encoder("GBK");
    return encoder.isValid() ? QByteArray(encoder.encode(text)) : text.toLatin1();
}

}  // namespace

CLogPane::CLogPane(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_showPeriod.setSingleShot(true);
    m_showPeriod.setInterval(kShowPeriodMs);
    connect(&m_showPeriod, &QTimer::timeout, this, &CLogPane::OnShowPeriodEnd);
}

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
    const QString shown = DisplayText(text);
    const int separator = m_characterCount > 0 ? 2 : 0;
    // The limit is tested on the old text and its separator, before the new
    // entry: a pane holding 29998 characters still takes one more entry.
    if (m_characterCount == 0 || m_characterCount + separator > kMaxCharacters) {
        // Start afresh: the old entries go, the new one stays alone.
        m_pending.clear();
        m_pendingStartsAfresh = true;
        m_characterCount = text.size();
    } else {
        m_characterCount += separator + text.size();
    }
    m_pending.append(shown);
    // On a busy line every read is an entry: laying out and drawing the
    // text once per period instead of once per entry keeps the window
    // responsive, and entries discarded by a fresh start before they were
    // shown cost nothing.
    if (m_showPeriod.isActive() || m_paused)
        return;
    ShowPendingEntries();
    m_showPeriod.start();
}

void CLogPane::ShowPendingEntries()
{
    if (m_pending.isEmpty())
        return;
    const QString entries = m_pending.join(QLatin1Char('\n'));
    if (m_pendingStartsAfresh)
        setPlainText(entries);
    else
        appendPlainText(entries);  // adds blocks: the old text is left alone
    m_pending.clear();
    m_pendingStartsAfresh = false;
    ScrollToEnd();
}

void CLogPane::SetDisplayPaused(bool paused)
{
    m_paused = paused;
    if (!paused)
        ShowPendingEntries();
}

void CLogPane::OnShowPeriodEnd()
{
    if (m_paused)
        return;
    if (m_pending.isEmpty())
        return;  // quiet during the period: the next entry is shown at once
    ShowPendingEntries();
    m_showPeriod.start();
}

void CLogPane::ClearLog()
{
    m_pending.clear();
    m_pendingStartsAfresh = false;
    clear();
    m_characterCount = 0;
}

void CLogPane::SetTerminalInput(bool on)
{
    m_terminalInput = on;
    setReadOnly(!on);
    // Typed characters never enter the text, so the pane needs no cursor
    // editing; it still takes the keyboard focus.
    setTextInteractionFlags(on ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard | Qt::TextEditable
                               : Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

QString CLogPane::WholeText()
{
    ShowPendingEntries();
    return toPlainText();
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

QMenu* CLogPane::CreateContextMenu()
{
    QMenu* menu = createStandardContextMenu();
    menu->setObjectName(QStringLiteral("logPaneMenu"));
    menu->addSeparator();
    QAction* save = menu->addAction(Texts::SaveLogMenuEntry(), this, &CLogPane::saveLogRequested);
    save->setObjectName(QStringLiteral("saveLogAction"));
    save->setEnabled(!document()->isEmpty() || !m_pending.isEmpty());
    return menu;
}

void CLogPane::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

void CLogPane::keyPressEvent(QKeyEvent* event)
{
    if (!m_terminalInput) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll)) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    QString text = event->text();
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        text = QStringLiteral("\r");
    if (!text.isEmpty()) {
        // Each typed character goes to the terminal at once.
        for (const QChar ch : text)
            emit bytesTyped(EncodeTyped(QString(ch)));
    }
    event->accept();
}

void CLogPane::inputMethodEvent(QInputMethodEvent* event)
{
    if (!m_terminalInput) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    const QString committed = event->commitString();
    for (const QChar ch : committed)
        emit bytesTyped(EncodeTyped(QString(ch)));
    event->accept();
}

void CLogPane::insertFromMimeData(const QMimeData* source)
{
    if (!m_terminalInput)
        return;
    if (source->hasText())
        emit bytesTyped(EncodeTyped(source->text()));
}

void CLogPane::ScrollToEnd()
{
    // By the scroll bar, not by moving the cursor to the end: placing the
    // cursor lays out the last line once more (a quarter of the cost of an
    // entry on a busy line) and would drop the user's selection at every
    // entry. Appending and setting the text update the scroll range at
    // once, so its maximum already shows the newest entry.
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}
