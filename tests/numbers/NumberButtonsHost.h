#pragma once

#include "device/CDeviceController.h"
#include "device/IDeviceView.h"
#include "numbers/CNumberCommands.h"

#include <QList>
#include <QStringList>
#include <QWidget>

#include <memory>

class CAdminNoDlg;
class CBackNoDlg;
class CLrmNoDlg;
class CNumberButtons;
class CNumberPage;
class CTabSheet;
class QPushButton;

// A small window for the number buttons: the tab sheet with the three number
// pages, the four buttons, and the view the device side reports to (log
// lines and busy changes are recorded for the tests).
class NumberButtonsHost : public QWidget, public IDeviceView {
    Q_OBJECT
public:
    explicit NumberButtonsHost(const Timing& timing);
    ~NumberButtonsHost() override;

    CDeviceController& Device() { return m_device; }
    CTabSheet* Tabs() const { return m_tabs; }
    CNumberPage* Page(int category) const;
    QPushButton* AddButton() const { return m_add; }
    QPushButton* DeleteButton() const { return m_delete; }
    QPushButton* ResetButton() const { return m_reset; }
    QPushButton* PowerTestButton() const { return m_powerTest; }

    // IDeviceView
    void AppendLog(const QString& line) override { logLines << line; }
    void SetBusy(bool busy) override;
    void SetRestartEnabled(bool) override {}
    void SetCommunicationRadioEnabled(bool) override {}
    void ShowPortClosed() override {}
    void ShowMessage(const QString& text) override;
    QString CellText(int, int) override { return {}; }
    void SetCellText(int, int, const QString&) override {}
    void LockCell(int, int) override {}
    void ClearNumberPage(int category) override;
    void AppendNumberRow(int category, const QString& number) override;
    QStringList NumberRows(int category) override;
    QStringList TickedNumbers(int category) override;

    QStringList logLines;
    QList<bool> busyChanges;
    bool busy = false;

private:
    std::unique_ptr<CAdminNoDlg> m_adminPage;
    std::unique_ptr<CLrmNoDlg> m_authorisedPage;
    std::unique_ptr<CBackNoDlg> m_backupPage;
    CDeviceController m_device;
    CNumberCommands m_commands{m_device};
    CTabSheet* m_tabs = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_powerTest = nullptr;
    CNumberButtons* m_buttons = nullptr;
};
