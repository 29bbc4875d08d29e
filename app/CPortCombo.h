#pragma once

#include <QComboBox>

// The port combo box: refills its list each time it is opened, because USB
// adapters are plugged in after start-up.
class CPortCombo : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override;

signals:
    void aboutToShowPopup();
};
