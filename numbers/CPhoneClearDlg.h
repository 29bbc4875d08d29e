#pragma once

#include "numbers/CNumberCategoryDlg.h"

// The number reset dialog "号码重置": which list to empty. OK asks for
// confirmation; Yes closes the dialog with OK, No keeps it open so that the
// user can choose another list or cancel.
class CPhoneClearDlg : public CNumberCategoryDlg {
    Q_OBJECT
public:
    explicit CPhoneClearDlg(QWidget* parent = nullptr);

    // The category chosen when OK was last pressed (-1 before that).
    int CategoryIndex() const { return m_categoryIndex; }

    // The confirmation question for a category; empty for no category.
    static QString Question(int category);

protected:
    void HandleOk() override;

private:
    int m_categoryIndex = -1;
};
