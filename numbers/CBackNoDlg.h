#pragma once

#include "numbers/CNumberPage.h"

// The tab page of the backup numbers.
class CBackNoDlg : public CNumberPage {
    Q_OBJECT
public:
    // Passed to CTabSheet::AddPage with the page.
    static constexpr int kTemplateId = 135;

    explicit CBackNoDlg(QWidget* parent = nullptr);
};
