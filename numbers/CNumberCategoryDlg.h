#pragma once

#include <QDialog>

class QComboBox;
class QGridLayout;
class QPushButton;

// What the two number dialogs share: a group box with the category choice
// ("管理号码", "授权号码", "备份号码"), OK "确定" (default) and Cancel "取消".
// The choice starts at the process-wide default category (NumberCategory),
// which the main window sets to the tab page shown before opening a dialog.
// Cancel or Escape closes the dialog with no result.
class CNumberCategoryDlg : public QDialog {
    Q_OBJECT
public:
    // Selected entry of the category choice, -1 when none.
    int SelectedCategory() const;

protected:
    CNumberCategoryDlg(const QString& title, const QString& groupTitle, QWidget* parent);

    // Rows below the category choice; column 0 holds labels.
    QGridLayout* FieldsLayout() const { return m_fields; }
    // Runs when OK is pressed (button or Enter); calls accept() to close.
    virtual void HandleOk() = 0;
    void showEvent(QShowEvent* event) override;

private:
    void SelectDefaultCategory();
    void OnOkClicked();

    QComboBox* m_categoryChoice = nullptr;
    QGridLayout* m_fields = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};
