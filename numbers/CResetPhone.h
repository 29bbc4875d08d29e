#pragma once

#include "numbers/CNumberCategoryDlg.h"

#include <QString>

class QLineEdit;

// The number entry dialog "号码设置": a list and one or more numbers
// separated by English commas. OK checks the text (NumberEntry::Validate);
// a refusal shows its message and keeps the dialog open with the text as
// typed. After OK the caller reads the category and the checked text.
class CResetPhone : public CNumberCategoryDlg {
    Q_OBJECT
public:
    explicit CResetPhone(QWidget* parent = nullptr);

    // Set only when the dialog closed with OK: the chosen category (-1 when
    // none was selected) and the number text without a trailing comma.
    int CategoryIndex() const { return m_categoryIndex; }
    QString NumberText() const { return m_numberText; }

protected:
    void HandleOk() override;

private:
    QLineEdit* m_numberEdit = nullptr;
    int m_categoryIndex = -1;
    QString m_numberText;
};
