#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;

// The log pane's find bar: the text to find, "n/m" for the match shown and
// the matches there are, previous / next and close. Enter or F3 asks for the
// next match, Shift+Enter or Shift+F3 for the previous one, Esc closes.
class CLogFindBar : public QWidget {
    Q_OBJECT
public:
    explicit CLogFindBar(QWidget* parent = nullptr);

    QString FindText() const;
    void SetFindText(const QString& text);
    // Focuses the text and selects it, for typing a new one at once.
    void FocusText();
    // `current` counts from 1; 0 when none is shown.
    void ShowCount(int current, int total);
    QString CountText() const;

signals:
    void findTextChanged(const QString& text);
    void nextRequested();
    void previousRequested();
    void closeRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* m_text = nullptr;
    QLabel* m_count = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_next = nullptr;
    QToolButton* m_close = nullptr;
};
