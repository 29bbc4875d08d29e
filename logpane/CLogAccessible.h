#pragma once

#include <QAccessibleWidget>

class CLogPane;

// The log pane to assistive tools: a multi-line text, read-only except in
// communication mode, whose text and selection can be read.
class CLogAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit CLogAccessible(CLogPane* pane);
    // Makes every log pane answer with this interface (once per program).
    static void Install();

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text kind) const override;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    CLogPane* Pane() const;
};
