#pragma once

#include "numbers/CNumberPage.h"

// The tab page of the administrator numbers.
class CAdminNoDlg : public CNumberPage {
    Q_OBJECT
public:
    // Passed to CTabSheet::AddPage with the page.
    static constexpr int kTemplateId = 133;

    explicit CAdminNoDlg(QWidget* parent = nullptr);
};
