#pragma once

#include "numbers/CNumberPage.h"

// The tab page of the authorised numbers.
class CLrmNoDlg : public CNumberPage {
    Q_OBJECT
public:
    // Passed to CTabSheet::AddPage with the page.
    static constexpr int kTemplateId = 134;

    explicit CLrmNoDlg(QWidget* parent = nullptr);
};
