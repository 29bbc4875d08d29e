#pragma once

#include <QAccessibleWidget>

class QComboBox;

// How screen readers and test drivers see a combo box. Qt's own interface
// on Linux names a combo box after its current entry, so "115200" instead
// of 波特率, and ignores both the accessible name and the label whose buddy
// it is. This one names it as other widgets are named (accessible name,
// then the buddy label, then the group it stands in), falling back to the
// current entry only when none of these exists; the value stays the current
// entry, and the box still opens its list on request.
//
// With the name taken by the label, the entry shown reaches assistive tools
// as GTK's combo boxes give it: as the box's text (the line edit's, when the
// box is editable), and as the one selected item of its list
// (CComboListAccessible), whether the list is open or not. Qt's bridge to
// AT-SPI maps the value of a combo box to nothing, and a number-only Value
// interface would not carry a text.
class CComboAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit CComboAccessible(QComboBox* combo);

    // Makes every combo box of the program, and the list it opens, use these
    // interfaces. Safe to call more than once.
    static void Install();

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text kind) const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QStringList actionNames() const override;
    void doAction(const QString& action) override;

    // The text: the entry shown. Read-only, but for an editable box the
    // caret and the selection are its line edit's.
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    QComboBox* Combo() const;
    QString CurrentText() const;
    // The line edit's own text interface; null unless the box is editable.
    QAccessibleTextInterface* EditText() const;
};
