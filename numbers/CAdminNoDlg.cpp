#include "numbers/CAdminNoDlg.h"

#include "numbers/NumberCategory.h"

CAdminNoDlg::CAdminNoDlg(QWidget* parent) : CNumberPage(NumberCategory::kAdministrator, parent) {}
