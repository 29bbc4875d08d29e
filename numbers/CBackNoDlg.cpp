#include "numbers/CBackNoDlg.h"

#include "numbers/NumberCategory.h"

CBackNoDlg::CBackNoDlg(QWidget* parent) : CNumberPage(NumberCategory::kBackup, parent) {}
