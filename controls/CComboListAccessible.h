#pragma once

#include <QAccessibleWidget>
#include <QPointer>

#include <vector>

class QAbstractItemView;
class QComboBox;

// The list a combo box opens, as assistive tools see it: one item per entry
// (CComboItemAccessible), of which the entry the box shows is the selected
// one, open or closed. Qt's own list takes "selected" from the view's
// selection, which is empty until the list first opens and then follows the
// highlight instead of the choice.
class CComboListAccessible : public QAccessibleWidget {
public:
    CComboListAccessible(QAbstractItemView* view, QComboBox* combo);
    ~CComboListAccessible() override;

    // The combo box whose popup `view` is; null for any other view. Safe
    // while the popup is being built (QComboBox::view() would build a second
    // one then).
    static QComboBox* ComboOfPopup(QAbstractItemView* view);

    QAccessibleInterface* parent() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    // Tells of every item made so far whose "selected" changed since it was
    // last told of, so that tools keeping states stay right.
    void TellSelectionChanges();

private:
    QAbstractItemView* View() const;

    QPointer<QComboBox> m_combo;
    // The items made so far, by row (an item stands for a row, not an
    // entry: a refilled list reuses them), and the "selected" last told.
    struct Item {
        QAccessible::Id id = 0;
        bool toldSelected = false;
    };
    mutable std::vector<Item> m_items;
};
