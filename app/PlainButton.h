#pragma once

class QPushButton;
class QString;
class QWidget;

// A button that never becomes the dialog's default: Enter must not start
// anything on the terminal behind the user's back.
QPushButton* PlainButton(const QString& text, const char* objectName, QWidget* parent);
