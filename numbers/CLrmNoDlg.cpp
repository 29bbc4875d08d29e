#include "numbers/CLrmNoDlg.h"

#include "numbers/NumberCategory.h"

CLrmNoDlg::CLrmNoDlg(QWidget* parent) : CNumberPage(NumberCategory::kAuthorised, parent) {}
