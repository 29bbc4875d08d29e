#include "app/CLogPane.h"

#include <QKeyEvent>
#include <QMimeData>
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
}

void CLogPane::AppendLog(const QString& text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const int separator = m_characterCount > 0 ? 2 : 0;
    // The limit is tested on the old text and its separator, before the new
    // entry: a pane holding 29998 characters still takes one more entry.
    if (m_characterCount == 0 || m_characterCount + separator > kMaxCharacters) {
        // Start afresh: the old entries go, the new one stays alone.
        setPlainText(shown);
        m_characterCount = text.size();
    } else {
        // Appending a block keeps the cost per entry independent of the
        // text already shown.
        appendPlainText(shown);
        m_characterCount += separator + text.size();
    }
    ScrollToEnd();
}

void CLogPane::ClearLog()
{
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
    // Through the cursor, so the newest entry is visible even before the
    // scroll range has caught up with the new text.
    moveCursor(QTextCursor::End);
    ensureCursorVisible();
}
