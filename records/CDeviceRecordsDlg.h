#pragma once

#include "records/CFleetJudge.h"
#include "records/RecordTypes.h"

#include <QAbstractTableModel>
#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class CRecordStore;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QTreeWidget;

// The device list of the service record, as a table model: one row per
// device, newest visit first, read from the record a page at a time as the
// view scrolls (canFetchMore / fetchMore), so that a province's record
// opens as fast as a workshop's.
class DeviceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Rows read per fetch.
    static constexpr int kFetchRows = 200;

    using QAbstractTableModel::QAbstractTableModel;
    // The devices `filter` finds in `store` (see CRecordStore::ListDevices);
    // nothing without a store. The first page is read at once. False, with
    // the store's LastError(), when that read fails.
    bool SetSource(CRecordStore* store, const QString& filter);
    // The rows given, as they are (a list already filtered in memory).
    void SetRows(std::vector<DeviceRow> rows);
    // What the 规范状态 column shows for a device key; none: empty.
    void SetStates(std::function<QString(const QString&)> stateOf);
    const DeviceRow* Row(int row) const;
    // Reads on until the device is loaded or the list ends; its row, or -1.
    int FindOrFetch(const QString& key);
    // How many fetches have read the record since the last SetSource().
    int Fetches() const { return m_fetches; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

signals:
    // A page could not be read.
    void fetchFailed(const QString& why);

private:
    bool FetchPage();

    CRecordStore* m_store = nullptr;
    QString m_filter;
    std::vector<DeviceRow> m_rows;
    std::function<QString(const QString&)> m_stateOf;
    bool m_atEnd = true;
    int m_fetches = 0;
};

// 设备档案: every terminal the tool has read, filtered as the user types (ID,
// SIM number or any value of the latest report); for one device its
// snapshots and changes in time order, each with what changed; two
// snapshots compared as the file preview lists changes; a snapshot exported
// as a configuration file, or handed to the main window to restore.
class CDeviceRecordsDlg : public QDialog {
    Q_OBJECT
public:
    // `location`: a file, a postgresql:// address, or "" for the default.
    explicit CDeviceRecordsDlg(const QString& location, QWidget* parent = nullptr);
    ~CDeviceRecordsDlg() override;

    // For tests and the main window.
    QLineEdit* FilterEdit() const { return m_filter; }
    QTableView* DeviceTable() const { return m_devices; }
    QTreeWidget* HistoryTree() const { return m_history; }
    QPlainTextEdit* DifferenceText() const { return m_differences; }
    // The devices read so far (the list reads on as it scrolls).
    int DeviceCount() const;
    DeviceListModel* DeviceModel() { return &m_model; }
    // Selects a device by key; false when the list does not show it.
    bool SelectDevice(const QString& key);
    // Selects snapshots by their number (1 = first) in the history.
    void SelectSnapshots(const QList<int>& numbers);
    // Writes the selected snapshot as a configuration file; false (with the
    // reason shown) when it cannot.
    bool ExportSelected(const QString& path);
    // Asks the main window to show the selected snapshot in its table.
    void OpenSelected();
    // Judges every recorded terminal against `profile` (none: the profile
    // columns go) at `nowMs` (0: now), on a thread of its own; the state
    // column, the state filter, the totals and the selected terminal's
    // deviations follow when it is done.
    void SetProfile(std::shared_ptr<const ProjectProfile> profile, qint64 nowMs = 0);
    QComboBox* StateFilter() const { return m_stateFilter; }
    QLabel* FleetSummary() const { return m_fleetSummary; }
    QPlainTextEdit* DeviationText() const { return m_deviations; }
    // A judgement has arrived since the last SetProfile().
    bool IsJudged() const { return m_judgement != nullptr; }

signals:
    // 恢复到此版本: the main window configures the terminal from `report`.
    void restoreRequested(const QString& deviceKey, const QByteArray& report);
    // 在表格中打开: the main window shows `report` in its table as a file
    // called `name`, to be edited without a terminal.
    void openRequested(const QString& name, const QByteArray& report);
    // 更改档案位置: the record is to be kept at `location` from now on.
    void locationChosen(const QString& location);

private:
    void Build();
    QLabel* OutboxLabel();
    void Refilter();
    void ShowDevice();
    void CompareSelected();
    void OnExportClicked();
    void OnRestoreClicked();
    void UpdateButtons();
    void OpenStore(const QString& location);
    void OnLocationApplied();
    // Why a location typed into 档案位置 cannot be used; std::nullopt when it can.
    static std::optional<QString> LocationRefusal(const QString& location);
    // The snapshot ids selected in the history, oldest first.
    QList<qint64> SelectedSnapshotIds() const;
    QString SelectedDeviceKey() const;
    QWidget* ProfileRow();
    void OnJudged(std::shared_ptr<const FleetJudgement> judgement, const QString& error);
    // The judged terminals in the state chosen, that the filter text finds.
    std::vector<DeviceRow> RowsInState(FleetState state, const QString& filter) const;
    void ShowDeviations();

    std::unique_ptr<CRecordStore> m_store;
    DeviceListModel m_model;
    QLabel* m_status = nullptr;
    QLineEdit* m_location = nullptr;
    QLineEdit* m_filter = nullptr;
    QTableView* m_devices = nullptr;
    QTreeWidget* m_history = nullptr;
    QPlainTextEdit* m_differences = nullptr;
    QPushButton* m_exportButton = nullptr;
    QPushButton* m_restoreButton = nullptr;
    QPushButton* m_openButton = nullptr;
    QString m_shownKey;

    // The project profile and the fleet judged against it.
    QString m_storeLocation;
    std::shared_ptr<const ProjectProfile> m_profile;
    std::shared_ptr<const FleetJudgement> m_judgement;
    std::unordered_map<QString, const FleetRow*> m_judged;
    CFleetJudge m_judge;
    QWidget* m_profileRow = nullptr;
    QComboBox* m_stateFilter = nullptr;
    QLabel* m_fleetSummary = nullptr;
    QPlainTextEdit* m_deviations = nullptr;
};
