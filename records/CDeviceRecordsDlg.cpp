#include "records/CDeviceRecordsDlg.h"

#include "params/ConfigFilePlan.h"
#include "records/CRecordOutbox.h"
#include "records/CRecordStore.h"
#include "records/FleetJudgement.h"
#include "records/RecordCommands.h"
#include "records/RecordDiff.h"
#include "records/RecordLocation.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Column {
    IdColumn, SimColumn, FirstColumn, LastColumn, VisitsColumn, ResultColumn, VerifyColumn, StateColumn, ColumnCount
};

constexpr int kIdRole = Qt::UserRole;
constexpr int kNumberRole = Qt::UserRole + 1;

QString ShortTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

}  // namespace

// ---------------------------------------------------------------- model

bool DeviceListModel::SetSource(CRecordStore* store, const QString& filter)
{
    beginResetModel();
    m_store = store;
    m_filter = filter;
    m_rows.clear();
    m_atEnd = store == nullptr;
    m_fetches = 0;
    endResetModel();
    return m_atEnd || FetchPage();
}

void DeviceListModel::SetRows(std::vector<DeviceRow> rows)
{
    beginResetModel();
    m_store = nullptr;
    m_rows = std::move(rows);
    m_atEnd = true;
    m_fetches = 0;
    endResetModel();
}

void DeviceListModel::SetStates(std::function<QString(const QString&)> stateOf)
{
    m_stateOf = std::move(stateOf);
    if (!m_rows.empty())
        emit dataChanged(index(0, StateColumn), index(static_cast<int>(m_rows.size()) - 1, StateColumn));
}

bool DeviceListModel::FetchPage()
{
    if (m_atEnd)
        return true;
    ++m_fetches;
    const DevicePageKey after = m_rows.empty() ? DevicePageKey{} : DevicePageKey::After(m_rows.back());
    std::optional<std::vector<DeviceRow>> page = m_store->DevicePage(m_filter, after, kFetchRows);
    if (!page) {
        m_atEnd = true;
        emit fetchFailed(m_store->LastError().simplified());
        return false;
    }
    m_atEnd = static_cast<int>(page->size()) < kFetchRows;
    if (page->empty())
        return true;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(page->size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(page->begin()), std::make_move_iterator(page->end()));
    endInsertRows();
    return true;
}

bool DeviceListModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !m_atEnd;
}

void DeviceListModel::fetchMore(const QModelIndex& parent)
{
    if (!parent.isValid())
        FetchPage();
}

int DeviceListModel::FindOrFetch(const QString& key)
{
    for (std::size_t i = 0;; ++i) {
        if (i == m_rows.size() && (m_atEnd || !FetchPage() || i == m_rows.size()))
            return -1;
        if (m_rows[i].key == key)
            return static_cast<int>(i);
    }
}

const DeviceRow* DeviceListModel::Row(int row) const
{
    return row >= 0 && row < static_cast<int>(m_rows.size()) ? &m_rows[static_cast<std::size_t>(row)] : nullptr;
}

int DeviceListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int DeviceListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const
{
    const DeviceRow* row = Row(index.row());
    if (!row || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    switch (index.column()) {
    case IdColumn:
        // Kept under its SIM number: said so in the ID's place.
        return row->kind == DeviceKeyKind::Id ? row->key : QStringLiteral("（无设备ID）");
    case SimColumn:
        return row->simNumber;
    case FirstColumn:
        return ShortTime(row->firstSeenMs);
    case LastColumn:
        return ShortTime(row->lastSeenMs);
    case VisitsColumn:
        return row->visits;
    case ResultColumn:
        return row->lastResult;
    case VerifyColumn:
        return row->lastVerify;
    case StateColumn:
        return m_stateOf ? m_stateOf(row->key) : QString();
    default:
        return {};
    }
}

QVariant DeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[ColumnCount] = {"设备ID", "SIM卡号", "首次", "最近", "次数", "上次结果", "上次校验",
                                                    "规范状态"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(titles[section]) : QVariant();
}

// ---------------------------------------------------------------- dialog

CDeviceRecordsDlg::CDeviceRecordsDlg(const QString& location, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("设备档案"));
    setObjectName(QStringLiteral("deviceRecordsDialog"));
    Build();
    OpenStore(location);
    m_filter->setFocus();
}

void CDeviceRecordsDlg::OpenStore(const QString& location)
{
    m_storeLocation = location;
    m_store = std::make_unique<CRecordStore>(location);
    // Shown without a password: one is better kept in PGPASSWORD or ~/.pgpass.
    m_location->setText(m_store->Describe());
    // Read only: a record this user may not write is browsed all the same.
    if (m_store->OpenForReading()) {
        m_status->setText(QStringLiteral("档案已打开"));
        m_filter->setEnabled(true);
    } else {
        m_status->setText(QStringLiteral("无法打开设备档案：%1").arg(m_store->LastError().simplified()));
        m_filter->setEnabled(false);
    }
    m_shownKey.clear();
    m_history->clear();
    m_differences->clear();
    Refilter();
    // Another record: its own fleet, judged again.
    if (m_profile)
        SetProfile(m_profile);
}

void CDeviceRecordsDlg::OnLocationApplied()
{
    const QString location = m_location->text().trimmed();
    if (const std::optional<QString> refusal = LocationRefusal(location)) {
        // Refused as typed: kept nowhere, left in the field to be mended.
        m_status->setText(QStringLiteral("档案位置无效：%1").arg(*refusal));
        return;
    }
    OpenStore(location);
    emit locationChosen(location);
}

std::optional<QString> CDeviceRecordsDlg::LocationRefusal(const QString& location)
{
    if (location.isEmpty())
        return std::nullopt;  // the default file
    QString why;
    const std::optional<RecordLocation> parsed = RecordLocation::Parse(location, &why);
    if (!parsed)
        return why;
    // The record may be new, its folder not: a mistyped one is never made.
    const QFileInfo file(location);
    if (!parsed->IsServer() && !file.absoluteDir().exists())
        return QStringLiteral("文件夹“%1”不存在").arg(QDir::toNativeSeparators(file.absolutePath()));
    return std::nullopt;
}

CDeviceRecordsDlg::~CDeviceRecordsDlg() = default;

void CDeviceRecordsDlg::Build()
{
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("recordsStatus"));
    // A refusal says why at length: wrapped, it leaves the location field
    // its room.
    m_status->setWordWrap(true);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_location = new QLineEdit(this);
    m_location->setObjectName(QStringLiteral("recordsLocation"));
    m_location->setToolTip(QStringLiteral("SQLite 文件，或 postgresql://用户@主机/数据库（多台电脑共用）"));
    auto* applyLocation = new QPushButton(QStringLiteral("更改档案位置"), this);
    applyLocation->setObjectName(QStringLiteral("recordsLocationApply"));
    connect(applyLocation, &QPushButton::clicked, this, &CDeviceRecordsDlg::OnLocationApplied);
    connect(m_location, &QLineEdit::returnPressed, this, &CDeviceRecordsDlg::OnLocationApplied);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("recordsFilter"));
    m_filter->setPlaceholderText(QStringLiteral("筛选：设备ID（或其开头）、SIM卡号、任一参数值（如 10.0.0.5）或 参数=值"));
    m_filter->setClearButtonEnabled(true);
    connect(m_filter, &QLineEdit::textChanged, this, &CDeviceRecordsDlg::Refilter);

    m_devices = new QTableView(this);
    m_devices->setObjectName(QStringLiteral("recordsDevices"));
    m_devices->setModel(&m_model);
    m_devices->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_devices->setSelectionMode(QAbstractItemView::SingleSelection);
    m_devices->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_devices->verticalHeader()->hide();
    // Fixed row heights and column widths: 10,000 rows lay out at once.
    m_devices->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_devices->horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics metrics = m_devices->fontMetrics();
    const auto widthOf = [&metrics](const QString& text) { return metrics.horizontalAdvance(text) + 18; };
    m_devices->setColumnWidth(IdColumn, widthOf(QStringLiteral("（无设备ID）")));
    m_devices->setColumnWidth(SimColumn, widthOf(QStringLiteral("13800000000")));
    m_devices->setColumnWidth(FirstColumn, widthOf(QStringLiteral("2026-12-31 23:59")));
    m_devices->setColumnWidth(LastColumn, widthOf(QStringLiteral("2026-12-31 23:59")));
    m_devices->setColumnWidth(VisitsColumn, widthOf(QStringLiteral("次数")));
    m_devices->setColumnWidth(ResultColumn, widthOf(QStringLiteral("上次结果")));
    m_devices->verticalHeader()->setDefaultSectionSize(metrics.height() + 8);
    connect(m_devices->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CDeviceRecordsDlg::ShowDevice);
    connect(&m_model, &DeviceListModel::fetchFailed, this, [this](const QString& why) { m_status->setText(why); });

    m_history = new QTreeWidget(this);
    m_history->setObjectName(QStringLiteral("recordsHistory"));
    m_history->setColumnCount(3);
    m_history->setHeaderLabels({QStringLiteral("时间"), QStringLiteral("事件"), QStringLiteral("内容")});
    m_history->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_history->setColumnWidth(0, m_history->fontMetrics().horizontalAdvance(QStringLiteral("2026-12-31 23:59")) + 36);
    m_history->setColumnWidth(1, m_history->fontMetrics().horizontalAdvance(QStringLiteral("快照 #10 保存后校验")) + 16);
    connect(m_history, &QTreeWidget::itemSelectionChanged, this, [this] {
        CompareSelected();
        UpdateButtons();
    });

    m_deviations = new QPlainTextEdit(this);
    m_deviations->setObjectName(QStringLiteral("recordsDeviations"));
    m_deviations->setReadOnly(true);
    m_deviations->setPlaceholderText(QStringLiteral("选择设备，查看它与项目规范的偏差"));
    m_deviations->hide();

    m_differences = new QPlainTextEdit(this);
    m_differences->setObjectName(QStringLiteral("recordsDifferences"));
    m_differences->setReadOnly(true);
    m_differences->setPlaceholderText(QStringLiteral("选择两个快照，查看两者的差异"));

    auto* right = new QSplitter(Qt::Vertical, this);
    right->addWidget(m_history);
    right->addWidget(m_deviations);
    right->addWidget(m_differences);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 1);
    right->setStretchFactor(2, 1);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(m_devices);
    split->addWidget(right);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);

    m_exportButton = new QPushButton(QStringLiteral("导出为配置文件"), this);
    m_exportButton->setObjectName(QStringLiteral("recordsExport"));
    m_restoreButton = new QPushButton(QStringLiteral("恢复到此版本"), this);
    m_restoreButton->setObjectName(QStringLiteral("recordsRestore"));
    m_openButton = new QPushButton(QStringLiteral("在表格中打开"), this);
    m_openButton->setObjectName(QStringLiteral("recordsOpen"));
    m_openButton->setToolTip(QStringLiteral("在主窗口的参数表中显示此快照，如同打开的配置文件，无需连接终端即可编辑和另存"));
    // Enter in a text field filters or moves the record, it presses nothing else.
    for (QPushButton* button : {m_exportButton, m_openButton, m_restoreButton, applyLocation})
        button->setAutoDefault(false);
    connect(m_exportButton, &QPushButton::clicked, this, &CDeviceRecordsDlg::OnExportClicked);
    connect(m_restoreButton, &QPushButton::clicked, this, &CDeviceRecordsDlg::OnRestoreClicked);
    connect(m_openButton, &QPushButton::clicked, this, &CDeviceRecordsDlg::OpenSelected);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    close->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(QStringLiteral("档案位置："), this));
    buttons->addWidget(m_location, 2);
    buttons->addWidget(applyLocation);
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_exportButton);
    buttons->addWidget(m_openButton);
    buttons->addWidget(m_restoreButton);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(OutboxLabel());
    layout->addWidget(m_filter);
    layout->addWidget(ProfileRow());
    layout->addWidget(split, 1);
    layout->addLayout(buttons);
    // Fits a 1366 x 768 screen at 125 %; the device list shows every column.
    resize(1080, 560);
    int listWidth = m_devices->verticalScrollBar()->sizeHint().width() + 2 * m_devices->frameWidth();
    for (int column = 0; column < ColumnCount; ++column)
        listWidth += column == VerifyColumn ? m_devices->fontMetrics().horizontalAdvance(QStringLiteral("3 项不一致")) + 18
                                            : m_devices->columnWidth(column);
    split->setSizes({listWidth, std::max(width() - listWidth, 300)});
    m_devices->setColumnHidden(StateColumn, true);
    UpdateButtons();
}

QLabel* CDeviceRecordsDlg::OutboxLabel()
{
    // Visits that wait in the outbox, and where they are to go; hidden
    // when none wait.
    auto* label = new QLabel(CRecordOutbox::WaitingNotice().trimmed(), this);
    label->setObjectName(QStringLiteral("recordsOutbox"));
    label->setWordWrap(true);
    label->setVisible(!label->text().isEmpty());
    return label;
}

int CDeviceRecordsDlg::DeviceCount() const
{
    return m_model.rowCount();
}

void CDeviceRecordsDlg::Refilter()
{
    if (!m_store->IsOpen()) {
        m_model.SetSource(nullptr, {});
        return;
    }
    const QString kept = SelectedDeviceKey();
    const std::optional<FleetState> state = FleetStateFromText(m_stateFilter->currentText());
    if (state && m_judgement)
        m_model.SetRows(RowsInState(*state, m_filter->text().trimmed()));
    else
        m_model.SetSource(m_store.get(), m_filter->text());
    if (!kept.isEmpty())
        SelectDevice(kept);
    if (SelectedDeviceKey().isEmpty()) {
        m_history->clear();
        m_differences->clear();
        m_shownKey.clear();
    }
}

QString CDeviceRecordsDlg::SelectedDeviceKey() const
{
    const QModelIndexList rows = m_devices->selectionModel()->selectedRows();
    const DeviceRow* row = rows.isEmpty() ? nullptr : m_model.Row(rows.first().row());
    return row ? row->key : QString();
}

bool CDeviceRecordsDlg::SelectDevice(const QString& key)
{
    const int row = m_model.FindOrFetch(key);
    if (row < 0)
        return false;
    m_devices->selectRow(row);
    m_devices->scrollTo(m_model.index(row, 0));
    return true;
}

void CDeviceRecordsDlg::ShowDevice()
{
    const QString key = SelectedDeviceKey();
    if (key == m_shownKey)
        return;
    m_shownKey = key;
    m_history->clear();
    m_differences->clear();
    ShowDeviations();
    if (key.isEmpty())
        return;
    const std::optional<DeviceHistory> history = m_store->History(key);
    if (!history) {
        m_status->setText(m_store->LastError().simplified());
        return;
    }
    for (const HistoryEntry& entry : history->entries) {
        auto* item = new QTreeWidgetItem(m_history);
        item->setText(0, ShortTime(entry.atMs));
        item->setToolTip(0, RecordTimeText(entry.atMs));
        if (entry.type == HistoryEntry::Type::Snapshot) {
            item->setText(1, QStringLiteral("快照 #%1 %2").arg(entry.number).arg(TriggerText(entry.trigger)));
            QString summary = entry.number == 1 ? QStringLiteral("首次记录")
                              : entry.differences.isEmpty()
                                  ? QStringLiteral("与上一快照相同")
                                  : QStringLiteral("%1 项变化").arg(entry.differences.size());
            if (entry.seen > 1)
                summary += QStringLiteral("；再见 %1 次，最近 %2").arg(entry.seen - 1).arg(RecordTimeText(entry.lastSeenMs));
            item->setText(2, QStringLiteral("%1（%2 %3）").arg(summary, entry.port, entry.computer));
            item->setData(0, kIdRole, entry.id);
            item->setData(0, kNumberRole, entry.number);
            for (const QString& line : entry.differences)
                new QTreeWidgetItem(item, {QString(), QString(), line});
        } else {
            item->setText(1, ChangeKindText(entry.kind));
            QString summary = entry.result;
            if (!entry.verify.isEmpty())
                summary += QStringLiteral("，校验%1").arg(entry.verify);
            item->setText(2, QStringLiteral("%1（%2 项）").arg(summary).arg(entry.items.size()));
            item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
            for (const ChangeItem& change : entry.items) {
                const QString label = change.item.isEmpty() ? QString() : change.item + QStringLiteral("：");
                const QString value = change.oldValue.isEmpty()
                                          ? change.newValue
                                          : change.oldValue + QStringLiteral(" → ") + change.newValue;
                auto* child = new QTreeWidgetItem(
                    item, {QString(), QString(), label + value + (change.acknowledged ? QString() : QStringLiteral("（未确认）"))});
                child->setFlags(child->flags() & ~Qt::ItemIsSelectable);
            }
        }
        item->setToolTip(2, item->text(2));
        for (int child = 0; child < item->childCount(); ++child)
            item->child(child)->setToolTip(2, item->child(child)->text(2));
        item->setExpanded(true);
    }
    UpdateButtons();
}

QList<qint64> CDeviceRecordsDlg::SelectedSnapshotIds() const
{
    QList<qint64> ids;
    for (int i = 0; i < m_history->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_history->topLevelItem(i);
        if (item->isSelected() && item->data(0, kIdRole).isValid())
            ids << item->data(0, kIdRole).toLongLong();
    }
    return ids;
}

void CDeviceRecordsDlg::SelectSnapshots(const QList<int>& numbers)
{
    m_history->clearSelection();
    for (int i = 0; i < m_history->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_history->topLevelItem(i);
        if (item->data(0, kNumberRole).isValid() && numbers.contains(item->data(0, kNumberRole).toInt()))
            item->setSelected(true);
    }
}

void CDeviceRecordsDlg::CompareSelected()
{
    const QList<qint64> ids = SelectedSnapshotIds();
    if (ids.size() != 2) {
        m_differences->clear();
        return;
    }
    const std::optional<QByteArray> older = m_store->ReportOfSnapshot(ids[0]);
    const std::optional<QByteArray> newer = m_store->ReportOfSnapshot(ids[1]);
    if (!older || !newer) {
        m_differences->setPlainText(m_store->LastError());
        return;
    }
    // The preview's words: what configuring a terminal that reports the
    // older snapshot from the newer one would change.
    const QStringList lines = ReportPreviewDifferences(*older, *newer);
    const QString heading = QStringLiteral("以较早的快照为设备、较晚的为文件：");
    m_differences->setPlainText(lines.isEmpty() ? QStringLiteral("两个快照的参数相同")
                                                : heading + QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
}

void CDeviceRecordsDlg::UpdateButtons()
{
    const bool one = SelectedSnapshotIds().size() == 1;
    m_exportButton->setEnabled(one);
    m_restoreButton->setEnabled(one);
    m_openButton->setEnabled(one);
}

bool CDeviceRecordsDlg::ExportSelected(const QString& path)
{
    const QList<qint64> ids = SelectedSnapshotIds();
    if (ids.size() != 1)
        return false;
    const std::optional<QByteArray> report = m_store->ReportOfSnapshot(ids.first());
    QSaveFile file(path);
    const QByteArray bytes = report ? ConfigFileText(*report) : QByteArray();
    if (!report || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_status->setText(QStringLiteral("导出失败：%1").arg(report ? file.errorString() : m_store->LastError()));
        return false;
    }
    m_status->setText(QStringLiteral("已导出到 %1").arg(path));
    return true;
}

void CDeviceRecordsDlg::OnExportClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("导出为配置文件"),
                                                      m_shownKey + QStringLiteral(".cfg"), QStringLiteral("*.cfg"));
    if (!path.isEmpty())
        ExportSelected(path);
}

void CDeviceRecordsDlg::OnRestoreClicked()
{
    const QList<qint64> ids = SelectedSnapshotIds();
    if (ids.size() != 1)
        return;
    const std::optional<QByteArray> report = m_store->ReportOfSnapshot(ids.first());
    if (!report) {
        m_status->setText(m_store->LastError().simplified());
        return;
    }
    emit restoreRequested(m_shownKey, *report);
}

void CDeviceRecordsDlg::OpenSelected()
{
    const QList<qint64> ids = SelectedSnapshotIds();
    if (ids.size() != 1)
        return;
    const std::optional<QByteArray> report = m_store->ReportOfSnapshot(ids.first());
    if (!report) {
        m_status->setText(m_store->LastError().simplified());
        return;
    }
    emit openRequested(QStringLiteral("%1-快照%2.cfg").arg(m_shownKey).arg(ids.first()), *report);
}

// ---------------------------------------------------------------- project profile

QWidget* CDeviceRecordsDlg::ProfileRow()
{
    m_profileRow = new QWidget(this);
    m_profileRow->setObjectName(QStringLiteral("recordsProfileRow"));
    m_stateFilter = new QComboBox(m_profileRow);
    m_stateFilter->setObjectName(QStringLiteral("recordsStateFilter"));
    m_stateFilter->setAccessibleName(QStringLiteral("规范状态"));
    m_stateFilter->addItem(QStringLiteral("全部状态"));
    for (FleetState state : kFleetStates)
        m_stateFilter->addItem(FleetStateText(state));
    connect(m_stateFilter, &QComboBox::currentIndexChanged, this, &CDeviceRecordsDlg::Refilter);
    m_fleetSummary = new QLabel(m_profileRow);
    m_fleetSummary->setObjectName(QStringLiteral("recordsFleetSummary"));
    m_fleetSummary->setWordWrap(true);
    m_fleetSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The totals below the filter, across the whole width: a profile of
    // twenty rules takes a few lines.
    auto* rows = new QVBoxLayout(m_profileRow);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("规范状态："), m_profileRow);
    label->setBuddy(m_stateFilter);
    row->addWidget(label);
    row->addWidget(m_stateFilter);
    row->addStretch(1);
    rows->addLayout(row);
    rows->addWidget(m_fleetSummary);
    m_profileRow->hide();
    return m_profileRow;
}

void CDeviceRecordsDlg::SetProfile(std::shared_ptr<const ProjectProfile> profile, qint64 nowMs)
{
    m_profile = std::move(profile);
    m_judgement.reset();
    m_judged.clear();
    m_judge.Cancel();
    m_model.SetStates({});
    m_profileRow->setVisible(m_profile != nullptr);
    m_deviations->setVisible(m_profile != nullptr);
    m_devices->setColumnHidden(StateColumn, m_profile == nullptr);
    ShowDeviations();
    if (!m_profile || !m_store->IsOpen()) {
        Refilter();
        return;
    }
    m_fleetSummary->setText(QStringLiteral("正在按项目规范 %1 检查档案中的设备…").arg(m_profile->Title()));
    const qint64 now = nowMs != 0 ? nowMs : QDateTime::currentMSecsSinceEpoch();
    m_judge.Start(m_storeLocation, m_profile, now, kDefaultStaleDays, this,
                  [this](std::shared_ptr<const FleetJudgement> judgement, const QString& error) {
                      OnJudged(std::move(judgement), error);
                  });
}

void CDeviceRecordsDlg::OnJudged(std::shared_ptr<const FleetJudgement> judgement, const QString& error)
{
    if (!judgement) {
        m_fleetSummary->setText(QStringLiteral("无法按项目规范检查：%1").arg(error));
        return;
    }
    m_judgement = std::move(judgement);
    for (const FleetRow& row : m_judgement->rows)
        m_judged.emplace(row.device.key, &row);
    m_model.SetStates([this](const QString& key) {
        const auto found = m_judged.find(key);
        return found == m_judged.end() ? QString() : FleetStateText(found->second->verdict.state);
    });
    const FleetTally& tally = m_judgement->tally;
    m_fleetSummary->setText(QStringLiteral("%1，%2 台：%3\n%4")
                                .arg(m_profile->Title())
                                .arg(tally.terminals)
                                .arg(FleetStatesText(tally), FleetRuleLines(*m_profile, tally).join(QStringLiteral("；"))));
    Refilter();
    ShowDeviations();
}

std::vector<DeviceRow> CDeviceRecordsDlg::RowsInState(FleetState state, const QString& filter) const
{
    std::vector<DeviceRow> rows;
    for (const FleetRow& row : m_judgement->rows) {
        if (row.verdict.state != state)
            continue;
        if (!filter.isEmpty() && !row.device.key.startsWith(filter, Qt::CaseInsensitive)
            && row.device.simNumber != filter)
            continue;
        rows.push_back(row.device);
    }
    // The order of the paged list: newest visit first.
    std::sort(rows.begin(), rows.end(), [](const DeviceRow& a, const DeviceRow& b) {
        return a.lastSeenMs != b.lastSeenMs ? a.lastSeenMs > b.lastSeenMs : a.rowId > b.rowId;
    });
    return rows;
}

void CDeviceRecordsDlg::ShowDeviations()
{
    m_deviations->clear();
    const auto found = m_judged.find(SelectedDeviceKey());
    if (!m_profile || found == m_judged.end())
        return;
    const FleetVerdict& verdict = found->second->verdict;
    QStringList lines{QStringLiteral("%1 %2").arg(m_profile->Title(), FleetStateText(verdict.state))};
    for (const Deviation& deviation : verdict.check.deviations)
        lines << deviation.Text();
    m_deviations->setPlainText(lines.join(QLatin1Char('\n')));
}

