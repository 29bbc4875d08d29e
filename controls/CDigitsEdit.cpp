#include "controls/CDigitsEdit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

CDigitsEdit::CDigitsEdit(QWidget* parent)
    : QLineEdit(parent)
{
    // A validator (not a key filter) so that paste and drop are checked too.
    static const QRegularExpression kDigitsOnly(QStringLiteral("[0-9]*"));
    setValidator(new QRegularExpressionValidator(kDigitsOnly, this));
}
