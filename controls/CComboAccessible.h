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
class CComboAccessible : public QAccessibleWidget {
public:
    explicit CComboAccessible(QComboBox* combo);

    // Makes every combo box of the program use this interface. Safe to
    // call more than once.
    static void Install();

    QString text(QAccessible::Text kind) const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QStringList actionNames() const override;
    void doAction(const QString& action) override;

private:
    QComboBox* Combo() const;
    QString CurrentText() const;
};
