#include "app/CPortCombo.h"

void CPortCombo::showPopup()
{
    emit aboutToShowPopup();
    QComboBox::showPopup();
}
