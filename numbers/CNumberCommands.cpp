#include "numbers/CNumberCommands.h"

#include "device/CDeviceController.h"
#include "device/DeviceTask.h"
#include "device/IDeviceView.h"
#include "numbers/NumberCategory.h"
#include "numbers/NumberCommandText.h"
#include "params/GbkText.h"
#include "params/NumberList.h"

#include <QDateTime>
#include <QSet>

#include <optional>
#include <string_view>

namespace {

// What the log and the boxes say about each list, by category.
struct ListTexts {
    const char* added;
    const char* repeated;
    const char* addFailed;
    const char* resetDone;
    const char* resetFailed;
    const char* deleted;
    const char* deleteFailed;
    const char* confirmationPart;
};

constexpr ListTexts kListTexts[NumberCategory::kCount] = {
    {"管理号码添加成功", "管理号码添加重复!", "管理号码添加失败", "重置管理号码成功", "重置管理号码失败",
     "删除管理号码成功...", "删除管理号码失败...", "你将删除管理号:"},
    {"授权号码添加成功", "授权号码添加重复", "授权号码添加失败", "重置授权号码成功", "重置授权号码失败",
     "删除授权号码成功...", "删除授权号码失败...", "你将删除授权号:"},
    {"备份号码添加成功", "备份号码添加重复!", "备份号码添加失败", "重置备份号码成功", "重置备份号码失败",
     "删除备份号码成功...", "删除备份号码失败...", "你将删除备份号:"},
};

const char* const kDuplicateNumber = "号码重复,添加失败";
const char* const kNumberTooLong = "号码长度超过32位,添加失败";
const char* const kInvalidNumberText = "输入字符不合法,清重新输入数字或英文逗号格式的字符";
const char* const kAddQueueFailed = "添加失败";
const char* const kDeleteQueueFailed = "参数删除失败";
const char* const kPowerOnTestDone = "车载台/FN发射机上电测试命令测试成功";
const char* const kPowerOnTestFailed = "车载台/FN发射机上电测试命令测试失败";

QString Text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

std::string_view AsView(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// Logged after the success line when the tool's copy of a list had no room
// for numbers the terminal accepted.
QString ListFullMessage(int category, const QList<QByteArray>& notKept)
{
    return QStringLiteral("本地%1列表已满(%2个),未能保存: %3")
        .arg(NumberCategory::Name(category))
        .arg(NumberList::kSlotCount)
        .arg(GbkToUnicode(notKept.join(',')));
}

// The numbers of an add command that are looked at: at most one list's worth
// followed by a comma, and the last one only when fewer came before it.
QList<QByteArray> NumbersToTake(const NumberCommandText::AddedNumbers& numbers)
{
    const qsizetype limit = static_cast<qsizetype>(NumberList::kSlotCount);
    QList<QByteArray> taken = numbers.followedByComma.mid(0, limit);
    if (numbers.followedByComma.size() < limit)
        taken << numbers.last;
    return taken;
}

}  // namespace

CNumberCommands::CNumberCommands(CDeviceController& device)
    : m_device(device)
{
    RegisterTasks();
}

void CNumberCommands::RegisterTasks()
{
    for (int category = 0; category < NumberCategory::kCount; ++category) {
        m_device.RegisterTask(KindOf(category), [this](DeviceTask& task) { AddNumbers(task); });
        m_device.RegisterTask(TaskCode::ResetAdminNumbers + category, [this](DeviceTask& task) { ResetNumbers(task); });
    }
    m_device.RegisterTask(TaskCode::DeleteNumbers, [this](DeviceTask&) { DeleteNumbers(); });
    m_device.RegisterTask(TaskCode::PowerOnTest, [this](DeviceTask& task) { PowerOnTest(task); });
}

NumberList& CNumberCommands::StoredList(int category)
{
    ParameterSet& params = m_device.Params();
    switch (category) {
    case NumberCategory::kAuthorised: return params.authorisedNumbers;
    case NumberCategory::kBackup: return params.backupNumbers;
    default: return params.adminNumbers;
    }
}

// ---------------------------------------------------------------- UI thread

void CNumberCommands::QueueOrRelease(int code, const QByteArray& command, const QString& failure)
{
    m_device.View().SetBusy(true);
    if (!m_device.PostTask(code, command)) {
        m_device.View().SetBusy(false);
        m_device.PostLog(failure);
    }
}

void CNumberCommands::RequestAdd(int category, const QString& numberText)
{
    if (!NumberCategory::IsValid(category))
        return;
    if (m_listEditHandler && m_listEditHandler(ListEdit::Add, category, numberText.split(QLatin1Char(','))))
        return;
    const std::optional<QByteArray> numbers = UnicodeToGbkBytes(numberText);
    if (!numbers) {
        m_device.View().ShowMessage(Text(kInvalidNumberText));
        return;
    }
    // The entry dialog limits every number but the last one; a slot holds
    // 32 characters, and a number the tool cannot keep must not be sent.
    for (const QByteArray& number : numbers->split(',')) {
        if (number.size() > static_cast<qsizetype>(NumberList::kMaxNumberLength)) {
            m_device.View().ShowMessage(Text(kNumberTooLong));
            return;
        }
    }
    const QByteArray command = NumberCommandText::AddCommand(category, *numbers);
    const int kind = KindOf(category);
    if (!CheckNewNumbers(command, kind)) {
        m_device.PostLog(Text(kDuplicateNumber));
        return;
    }
    QueueOrRelease(kind, command, Text(kAddQueueFailed));
}

void CNumberCommands::RequestReset(int category)
{
    if (!NumberCategory::IsValid(category))
        return;
    if (m_listEditHandler && m_listEditHandler(ListEdit::Reset, category, {}))
        return;
    QueueOrRelease(TaskCode::ResetAdminNumbers + category, NumberCommandText::ResetCommand(category),
                   Text(kAddQueueFailed));
}

void CNumberCommands::RequestDelete()
{
    if (m_listEditHandler && m_listEditHandler(ListEdit::Delete, -1, {}))
        return;
    // The task reads the ticked rows itself when it runs.
    QueueOrRelease(TaskCode::DeleteNumbers, {}, Text(kDeleteQueueFailed));
}

void CNumberCommands::RequestPowerOnTest()
{
    QueueOrRelease(TaskCode::PowerOnTest, NumberCommandText::PowerOnTestCommand(), Text(kPowerOnTestFailed));
}

std::array<QStringList, 3> CNumberCommands::TickedNumbers() const
{
    std::array<QStringList, 3> ticked;
    for (int category = 0; category < NumberCategory::kCount; ++category)
        ticked[category] = m_device.View().TickedNumbers(category);
    return ticked;
}

QString CNumberCommands::DeleteConfirmationText(const std::array<QStringList, 3>& ticked)
{
    QString text;
    for (int category = 0; category < NumberCategory::kCount; ++category) {
        if (!ticked[category].isEmpty())
            text += Text(kListTexts[category].confirmationPart) + ticked[category].join(QLatin1Char(','));
    }
    return text;
}

bool CNumberCommands::CheckNewNumbers(const QByteArray& command, int kind)
{
    const int category = CategoryOf(kind);
    if (!NumberCategory::IsValid(category))
        return false;
    const std::optional<NumberCommandText::AddedNumbers> numbers = NumberCommandText::SplitAddCommand(category, command);
    if (!numbers)
        return false;
    QSet<QByteArray> earlier;
    // The worker changes the stored lists under this lock.
    std::lock_guard guard(m_device.ParamLock());
    const NumberList& list = StoredList(category);
    for (const QByteArray& number : NumbersToTake(*numbers)) {
        if (number.isEmpty() || !NumberList::Slot::Fits(AsView(number)))
            return false;
        if (list.Contains(AsView(number)) || earlier.contains(number))
            return false;
        earlier.insert(number);
    }
    return true;
}

// ---------------------------------------------------------------- worker thread

IVisitRecorder::SentItem CNumberCommands::ListItem(const QByteArray& command, bool acknowledged)
{
    return {QString(), QString(), GbkToUnicode(command.trimmed()), acknowledged};
}

bool CNumberCommands::ExchangeNumberCommand(const QByteArray& command)
{
    const bool acknowledged = m_device.ExchangeCommand(ReplyChannel::AnyOk, command, m_device.timing().queryReplyMs);
    IVisitRecorder::Change change;
    change.kind = IVisitRecorder::ChangeKind::NumberList;
    change.items.push_back(ListItem(command, acknowledged));
    change.succeeded = acknowledged;
    change.startedMs = QDateTime::currentMSecsSinceEpoch();
    m_device.RecordChange(change);
    return acknowledged;
}

CNumberCommands::AddResult CNumberCommands::StoreAddedNumbers(const QList<QByteArray>& numbers, NumberList& list,
                                                              QStringList& rows, QStringList& appended,
                                                              QList<QByteArray>& notKept)
{
    for (const QByteArray& number : numbers) {
        if (number.isEmpty() || !NumberList::Slot::Fits(AsView(number)))
            return Malformed;
        const std::optional<std::size_t> slot = list.LowestEmptySlot();
        if (!slot) {
            notKept << number;
            continue;
        }
        list[*slot].Assign(AsView(number));
        const QString row = GbkToUnicode(number);
        if (rows.contains(row)) {
            // Already shown: the slot is given back, numbers before it stay.
            list[*slot].Clear();
            return AlreadyShown;
        }
        rows << row;
        appended << row;
    }
    return Applied;
}

CNumberCommands::AddResult CNumberCommands::ApplyAddedNumbers(const QByteArray& command, int kind,
                                                              QList<QByteArray>* notKept)
{
    const int category = CategoryOf(kind);
    if (!NumberCategory::IsValid(category))
        return Malformed;
    const std::optional<NumberCommandText::AddedNumbers> numbers = NumberCommandText::SplitAddCommand(category, command);
    if (!numbers)
        return Malformed;
    // The page is read before the lock is taken: the UI thread may be
    // waiting for that lock.
    QStringList rows;
    if (!m_device.CallOnUi([&] { rows = m_device.View().NumberRows(category); }))
        return Malformed;
    QStringList appended;
    QList<QByteArray> skipped;
    AddResult result = Malformed;
    {
        std::lock_guard guard(m_device.ParamLock());
        result = StoreAddedNumbers(NumbersToTake(*numbers), StoredList(category), rows, appended, skipped);
    }
    if (!appended.isEmpty()) {
        m_device.CallOnUi([&] {
            for (const QString& row : appended)
                m_device.View().AppendNumberRow(category, row);
        });
    }
    if (notKept)
        *notKept << skipped;
    return result;
}

void CNumberCommands::ClearNumberList(int kind)
{
    const int category = CategoryOf(kind);
    if (!NumberCategory::IsValid(category))
        return;
    {
        std::lock_guard guard(m_device.ParamLock());
        StoredList(category).Clear();
    }
    m_device.CallOnUi([&] { m_device.View().ClearNumberPage(category); });
}

void CNumberCommands::RefreshNumberPages()
{
    std::array<QStringList, 3> pages;
    {
        std::lock_guard guard(m_device.ParamLock());
        for (int category = 0; category < NumberCategory::kCount; ++category) {
            for (const std::string& number : StoredList(category).NonEmptyNumbers())
                pages[category] << GbkToUnicode(number);
        }
    }
    m_device.CallOnUi([&] {
        for (int category = 0; category < NumberCategory::kCount; ++category) {
            m_device.View().ClearNumberPage(category);
            for (const QString& number : pages[category])
                m_device.View().AppendNumberRow(category, number);
        }
    });
}

void CNumberCommands::AddNumbers(const DeviceTask& task)
{
    const int category = CategoryOf(task.code);
    if (!NumberCategory::IsValid(category))
        return;
    const ListTexts& texts = kListTexts[category];
    if (!ExchangeNumberCommand(task.command)) {
        m_device.PostLogBytes(task.command);
        m_device.PostLog(Text(texts.addFailed));
        return;
    }
    QList<QByteArray> notKept;
    const AddResult result = ApplyAddedNumbers(task.command, task.code, &notKept);
    m_device.PostLogBytes(task.command);
    m_device.PostLog(Text(result == AlreadyShown ? texts.repeated : texts.added));
    if (!notKept.isEmpty())
        m_device.PostLog(ListFullMessage(category, notKept));
}

void CNumberCommands::ResetNumbers(const DeviceTask& task)
{
    const int category = task.code - TaskCode::ResetAdminNumbers;
    if (!NumberCategory::IsValid(category))
        return;
    const ListTexts& texts = kListTexts[category];
    if (!ExchangeNumberCommand(task.command)) {
        m_device.PostLogBytes(task.command);
        m_device.PostLog(Text(texts.resetFailed));
        return;
    }
    ClearNumberList(KindOf(category));
    m_device.PostLogBytes(task.command);
    m_device.PostLog(Text(texts.resetDone));
}

bool CNumberCommands::DeleteTickedNumbers(int category)
{
    QStringList ticked;
    if (!m_device.CallOnUi([&] { ticked = m_device.View().TickedNumbers(category); }))
        return false;
    QList<QByteArray> numbers;
    for (const QString& row : ticked) {
        const std::optional<QByteArray> number = UnicodeToGbkBytes(row);
        if (number && !number->isEmpty())
            numbers << *number;
    }
    if (numbers.isEmpty())
        return true;

    const ListTexts& texts = kListTexts[category];
    // The delete sends one command per list: recorded as one change, item
    // by item as each is answered.
    if (!m_device.OpenedChange())
        m_device.RecordChangeBegun(IVisitRecorder::ChangeKind::NumberList, QDateTime::currentMSecsSinceEpoch());
    const QByteArray command = NumberCommandText::DeleteCommand(category, numbers);
    const bool acknowledged = m_device.ExchangeCommand(ReplyChannel::AnyOk, command, m_device.timing().queryReplyMs);
    const QByteArray received = m_device.ReceivedText();
    if (!acknowledged) {
        m_device.PostLogBytes(received);
        m_device.PostLog(Text(texts.deleteFailed));
        m_device.RecordChangeItem(ListItem(command, false));
        return false;
    }
    {
        std::lock_guard guard(m_device.ParamLock());
        NumberList& list = StoredList(category);
        for (const QByteArray& number : numbers)
            list.RemoveAll(AsView(number));
    }
    m_device.PostLogBytes(received);
    m_device.PostLog(Text(texts.deleted));
    m_device.RecordChangeItem(ListItem(command, true));
    return true;
}

void CNumberCommands::DeleteNumbers()
{
    bool allDeleted = true;
    for (int category = 0; category < NumberCategory::kCount && allDeleted; ++category)
        allDeleted = DeleteTickedNumbers(category);
    // Deleted numbers disappear and every row comes back unticked.
    RefreshNumberPages();
    const std::optional<CDeviceController::OpenChange>& open = m_device.OpenedChange();
    if (!open)
        return;  // nothing was ticked: nothing sent
    IVisitRecorder::Change change;
    change.kind = open->kind;
    change.items = open->items;
    change.startedMs = open->startedMs;
    change.succeeded = allDeleted;
    m_device.RecordChange(change);
}

void CNumberCommands::PowerOnTest(const DeviceTask& task)
{
    // Not a list change: nothing for the service record.
    if (m_device.ExchangeCommand(ReplyChannel::AnyOk, task.command, m_device.timing().queryReplyMs)) {
        m_device.PostLogBytes(m_device.ReceivedText());
        m_device.PostLog(Text(kPowerOnTestDone));
    } else {
        m_device.PostLogBytes(task.command);
        m_device.PostLog(Text(kPowerOnTestFailed));
    }
}
