#pragma once

#include <QLineEdit>

// A one-line text box that takes only the digits 0 to 9, whether typed,
// pasted, dropped or committed by an input method: any input that would
// leave another character in the box is refused as a whole. Text set by
// the program with setText() is shown as it is.
class CDigitsEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CDigitsEdit(QWidget* parent = nullptr);
};
