#pragma once

#include <QAccessibleInterface>
#include <QModelIndex>
#include <QPointer>

class QAbstractItemView;
class QComboBox;

// One entry of a combo box's list: named by its text, "selected" while the
// box shows it, "focused" while the open list highlights it.
class CComboItemAccessible : public QAccessibleInterface {
public:
    CComboItemAccessible(QComboBox* combo, QAbstractItemView* view, int row);

    bool isValid() const override;
    QObject* object() const override;
    QWindow* window() const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text kind) const override;
    void setText(QAccessible::Text kind, const QString& text) override;
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;

    int Row() const { return m_row; }

private:
    QModelIndex Index() const;

    QPointer<QComboBox> m_combo;
    QPointer<QAbstractItemView> m_view;
    int m_row = 0;
};
