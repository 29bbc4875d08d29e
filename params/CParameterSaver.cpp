#include "params/CParameterSaver.h"

#include "device/CDeviceController.h"
#include "device/DeviceTask.h"
#include "device/IDeviceView.h"
#include "device/ReplyChannel.h"
#include "params/DecimalValue.h"
#include "params/GbkText.h"
#include "params/ParameterSet.h"
#include "params/ParameterTableLayout.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace {

// How a cell becomes the value that is sent.
enum class ValueRule {
    Text,          // the cell's text as it stands
    Number,        // the cell read as a decimal integer
    YesNo,         // "是" is 1, any other text 0
    FmFrequency,   // MHz to units of 10 kHz, as decimal text
    Mp3PlayMode,   // "单曲循环" is 1, "全部循环" 2, any other text 0
    TtsVoice,      // "女声" is 0, any other text 1
    CommModule,    // "是" is 1, any other text 2
    ModuleSwitch,  // "是" is 1, "否" 0, any other text is not sent
    SmsCentre,     // text; a changed text holding "默认" sends the empty text
};

// Where an item's value is kept in the parameter set. Text fields hold what
// was sent; for numeric rules on a text field the text is read as a decimal
// integer for the comparison and becomes the decimal text of the value sent.
using StoredField = std::variant<ShortText ParameterSet::*, PresetText ParameterSet::*, std::uint8_t ParameterSet::*,
                                 std::int32_t ParameterSet::*>;

struct SaveItem {
    int row = 0;
    int column = 0;
    const char* commandPrefix = "";  // the command up to and including "="
    std::int8_t replyCode = ReplyChannel::AnyOk;
    ValueRule rule = ValueRule::Text;
    StoredField field;
    const char* success = "";
    const char* failure = "";
};

constexpr int L = kLeftValueColumn;
constexpr int R = kRightValueColumn;
constexpr std::int8_t kOk = ReplyChannel::AnyOk;
using P = ParameterSet;

const SaveItem kPresetItems[] = {
    {1, L, "AT+LRMSETTXT1=", 4, ValueRule::Text, &P::presetText1, "设置内容一成功", "设置内容一失败"},
    {2, L, "AT+LRMSETTXT2=", 5, ValueRule::Text, &P::presetText2, "设置内容二成功", "设置内容二失败"},
    {3, L, "AT+LRMSETTXT3=", 6, ValueRule::Text, &P::presetText3, "设置内容三成功", "设置内容三失败"},
};

// In sending order, which is not the row order.
const SaveItem kPriorityItems[] = {
    {5, L, "AT+LRMPHNPRIO=", 7, ValueRule::Number, &P::phonePriority, "设置电话等级成功", "设置电话等级失败"},
    {6, L, "AT+LRMSMSPRIO=", 8, ValueRule::Number, &P::smsPriority, "设置短信等级成功", "设置短信等级失败"},
    {7, L, "AT+LRMGPRSPRIO=", 9, ValueRule::Number, &P::gprsPriority, "设置GPRS等级成功", "设置GPRS等级失败"},
    {8, L, "AT+LRMMICPRIO=", 10, ValueRule::Number, &P::micPriority, "设置麦克风等级成功", "设置麦克风等级失败"},
    {10, L, "AT+LRMINPHNPRIO=", 11, ValueRule::Number, &P::intercomPriority, "设置对讲机等级成功",
     "设置对讲机等级失败"},
    {9, L, "AT+LRMFMPRIO=", 12, ValueRule::Number, &P::fmPriority, "设置调频等级成功", "设置调频等级失败"},
    {13, L, "AT+LRMMP3PRIO=", 13, ValueRule::Number, &P::mp3Priority, "设置MP3等级成功", "设置MP3等级失败"},
    {11, L, "AT+LRMLCLLRMPRIO=", 14, ValueRule::Number, &P::localAlarmPriority, "设置本地预警等级成功",
     "设置本地预警等级失败"},
    {12, L, "AT+LRMLINEPRIO=", kOk, ValueRule::Number, &P::lineInPriority, "设置线输入预警的优先级成功",
     "设置线输入预警的优先级失败"},
};

const SaveItem kPlayCountItems[] = {
    {15, L, "AT+LRMSMSPLYNUM=", 15, ValueRule::Number, &P::smsPlayCount, "设置短信播放次数成功",
     "设置短信播放次数失败"},
    {16, L, "AT+LRMGPRSPLYNUM=", 16, ValueRule::Number, &P::gprsPlayCount, "设置GPRS播放次数成功",
     "设置GPRS播放次数失败"},
    {17, L, "AT+LRMLCLLRMPLYNUM=", 17, ValueRule::Number, &P::localPlayCount, "设置本地预警播放次数成功",
     "设置本地预警播放次数失败"},
};

const SaveItem kNetworkItems[] = {
    {1, R, "at+svrcnt=", kOk, ValueRule::Text, &P::serverCount, "设置主中心数目成功", "设置主中心数目失败"},
    {2, R, "at+ipad=", kOk, ValueRule::Text, &P::serverIp, "设置主中心IP成功", "设置主中心IP失败"},
    {3, R, "at+port=", kOk, ValueRule::Text, &P::serverPort, "设置主中心端口成功", "设置主中心端口失败"},
    {4, R, "at+ipsec=", kOk, ValueRule::Text, &P::backupServerIp, "设置备份中心IP成功", "设置备份中心IP失败"},
    {5, R, "at+ptsec=", kOk, ValueRule::Text, &P::backupServerPort, "设置备份中心端口成功", "设置备份中心端口失败"},
    {6, R, "at+dnssvr=", kOk, ValueRule::Text, &P::dnsServer, "设置主中心DNS成功", "设置主中心DNS失败"},
    {7, R, "at+dnssv2=", kOk, ValueRule::Text, &P::backupDnsServer, "设置备份中心DNS成功", "设置备份中心DNS失败"},
    {9, R, "at+debug=", kOk, ValueRule::Text, &P::debugLevel, "设置调试等级成功", "设置调试等级失败"},
    {10, R, "at+retmain=", kOk, ValueRule::YesNo, &P::returnToMainServer, "设置返回主中心参数成功",
     "设置返回主中心参数失败"},
    {11, R, "at+idnt=", kOk, ValueRule::Text, &P::deviceId, "设置设备ID成功", "设置设备ID失败"},
    {12, R, "at+phon=", kOk, ValueRule::Text, &P::simNumber, "设置SIM ID成功", "设置SIM ID失败"},
    {13, R, "AT+RETRY=", kOk, ValueRule::Text, &P::linkRetryTimes, "设置断线重连次数成功", "设置断线重连次数失败"},
    {14, R, "AT+RDLWT=", kOk, ValueRule::Text, &P::redialInterval, "设置重连间隔时间成功", "设置重连间隔时间失败"},
    {16, R, "at+apn=", kOk, ValueRule::Text, &P::apn, "设置APN成功", "设置APN失败"},
    {17, R, "at+username=", kOk, ValueRule::Text, &P::apnUser, "设置APN 用户名成功", "设置APN 用户名失败"},
    {18, R, "at+password=", kOk, ValueRule::Text, &P::apnPassword, "设置APN 密码成功", "设置APN 密码失败"},
    {19, R, "at+cent=", kOk, ValueRule::Text, &P::dialNumber, "设置拨号中心号码成功", "设置拨号中心号码失败"},
    {20, R, "at+smsc=", kOk, ValueRule::SmsCentre, &P::smsCentre, "设置短信中心号码成功", "设置短信中心号码失败"},
    {21, R, "at+polltime=", kOk, ValueRule::Text, &P::heartbeatSeconds, "设置心跳时间间隔成功",
     "设置心跳时间间隔失败"},
};

// Rows of the network items that the input checks look at.
constexpr int kDeviceIdRow = 11;
constexpr int kSimNumberRow = 12;
constexpr int kSmsCentreRow = 20;
constexpr int kHeartbeatRow = 21;

const SaveItem kOtherItems[] = {
    {19, L, "AT+LRMSMSRSP=", kOk, ValueRule::YesNo, &P::smsReceipt, "设置短信回执成功", "设置短信回执失败"},
    {20, L, "AT+LRMSMSBK=", kOk, ValueRule::YesNo, &P::smsBackup, "设置短信备份成功", "设置短信备份失败"},
    {21, L, "AT+LRMSTATESMSTIME=", kOk, ValueRule::Text, &P::statusSmsInterval, "设置状态短信发送时间成功",
     "设置状态短信发送时间失败"},
    {22, L, "AT+LRMFMFREQ=", kOk, ValueRule::FmFrequency, &P::fmFrequency, "设置FM接收频率成功",
     "设置FM接收频率失败"},
    {23, L, "AT+LRMFMSNR=", kOk, ValueRule::Text, &P::fmSnr, "设置FM接收信噪比成功", "设置FM接收信噪比失败"},
    {24, L, "AT+LRMFMVOICE=", kOk, ValueRule::Text, &P::fmVolume, "设置FM音量成功", "设置FM音量失败"},
    {25, L, "AT+LRMFMRECEN=", kOk, ValueRule::YesNo, &P::fmReceiveEnabled, "设置FM接收使能成功",
     "设置FM接收使能失败"},
    {26, L, "AT+LRMMP3PLYMODE=", kOk, ValueRule::Mp3PlayMode, &P::mp3PlayMode, "设置mp3播放模式成功",
     "设置mp3播放模式失败"},
    {27, L, "AT+LRMMP3LVL=", kOk, ValueRule::Text, &P::mp3Volume, "设置MP3播放音量成功", "设置MP3播放音量失败"},
    {28, L, "AT+LRMTTSVOICE=", kOk, ValueRule::TtsVoice, &P::ttsVoice, "设置TTS语音成功", "设置TTS语音失败"},
    {29, L, "AT+LRMTTSLVL=", kOk, ValueRule::Text, &P::ttsVolume, "设置TTS播放音量成功", "设置TTS播放音量失败"},
    {30, L, "AT+LRMTTSSPEED=", kOk, ValueRule::Text, &P::ttsSpeed, "设置TTS播放速度成功", "设置TTS播放速度失败"},
    {31, L, "AT+LRMTTSTONE=", kOk, ValueRule::Text, &P::ttsTone, "设置TTS播放音调成功", "设置TTS播放音调失败"},
    {32, L, "AT+LRMMCUFUN=", kOk, ValueRule::CommModule, &P::commModule, "设置是否附带通讯模块成功",
     "设置是否附带通讯模块失败"},
    {33, L, "AT+LRMSETINPHNOPEN=", kOk, ValueRule::ModuleSwitch, &P::intercomEnabled, "设置是否开启对讲机模块成功",
     "设置是否开启对讲机模块失败"},
    {34, L, "AT+LRMAUDIOFUNOPEN=", kOk, ValueRule::ModuleSwitch, &P::pickupEnabled, "设置是否开启拾音器功能成功",
     "设置是否开启拾音器功能失败"},
};

constexpr int kFmFrequencyRow = 22;

// Every item of the five procedures, for the check before anything is sent.
const std::vector<SaveItem>& AllItems()
{
    static const std::vector<SaveItem> items = [] {
        std::vector<SaveItem> all;
        for (std::span<const SaveItem> group : {std::span<const SaveItem>(kPresetItems),
                                                std::span<const SaveItem>(kPriorityItems),
                                                std::span<const SaveItem>(kPlayCountItems),
                                                std::span<const SaveItem>(kNetworkItems),
                                                std::span<const SaveItem>(kOtherItems)})
            all.insert(all.end(), group.begin(), group.end());
        return all;
    }();
    return items;
}

// One value cell as the save sees it.
struct CellInput {
    QString cell;
    // The cell shows exactly what the table shows for the stored value: the
    // user did not change it, so it is never sent.
    bool unchanged = false;
    // The value as the terminal's bytes: the stored bytes for an unchanged
    // text cell (which may not even be valid GBK), else the cell's text in
    // GBK; nothing when GBK cannot encode the cell.
    std::optional<std::string> bytes;
};

// What a changed cell sends, compares and stores.
struct ItemValue {
    std::optional<std::int32_t> number;  // numeric rules
    std::string text;                    // text rules: sent
    std::string compareText;             // text rules: compared with the stored text
    std::string storeText;               // text rules: stored after success
};

enum class LogOrder { CommandFirst, MessageFirst };
enum class ItemResult { Skipped, Written, Failed };

QString Yes() { return QStringLiteral("是"); }
QString No() { return QStringLiteral("否"); }

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

const ParameterTableRow* TableRow(const SaveItem& item)
{
    return FindParameterTableRow(item.row, item.column);
}

// The item's label for a message, without its closing colon.
QString Label(const SaveItem& item)
{
    const ParameterTableRow* row = TableRow(item);
    QString label = row ? row->label : QString();
    while (label.endsWith(QLatin1Char(':')) || label.endsWith(QChar(0xFF1A)))
        label.chop(1);
    return label;
}

std::string_view StoredText(const ParameterSet& set, const StoredField& field)
{
    if (const auto* member = std::get_if<ShortText ParameterSet::*>(&field))
        return (set.**member).View();
    if (const auto* member = std::get_if<PresetText ParameterSet::*>(&field))
        return (set.**member).View();
    return {};
}

// The longest text the item's stored field keeps, for items whose cell text
// is stored as it stands in a 99-byte field. The preset texts have their
// own check and message.
std::optional<std::size_t> StoredTextCapacity(const SaveItem& item)
{
    const bool storesCellText = item.rule == ValueRule::Text || item.rule == ValueRule::SmsCentre;
    if (storesCellText && std::holds_alternative<ShortText ParameterSet::*>(item.field))
        return ShortText::kCapacity;
    return std::nullopt;
}

// "87.5" -> "8750": the leading decimal number of the text (digits, at most
// one point) times 100, rounded to the nearest integer, halves up. Worked
// out on the digits, so 76.2 gives exactly 7620 and a long digit string
// saturates at the largest long instead of overflowing. No digits: "0".
std::string FmFrequencyHundredths(std::string_view text)
{
    constexpr std::uint64_t kLimit = std::numeric_limits<long>::max();
    std::uint64_t value = 0;
    const auto append = [&value](int digit) {
        const auto d = static_cast<std::uint64_t>(digit);
        value = value > (kLimit - d) / 10 ? kLimit : value * 10 + d;
    };
    std::size_t position = 0;
    while (position < text.size() && IsDigit(text[position]))
        append(text[position++] - '0');
    int fraction[3] = {0, 0, 0};
    if (position < text.size() && text[position] == '.') {
        ++position;
        for (int& digit : fraction) {
            if (position >= text.size() || !IsDigit(text[position]))
                break;
            digit = text[position++] - '0';
        }
    }
    append(fraction[0]);
    append(fraction[1]);
    if (fraction[2] >= 5 && value < kLimit)
        ++value;
    return std::to_string(value);
}

std::optional<std::vector<QString>> ReadCells(CDeviceController& device, std::span<const SaveItem> items)
{
    std::vector<QString> cells(items.size());
    IDeviceView& view = device.View();
    const bool read = device.CallOnUi([&] {
        for (std::size_t i = 0; i < items.size(); ++i)
            cells[i] = view.CellText(items[i].row, items[i].column);
    });
    if (!read)
        return std::nullopt;
    return cells;
}

std::vector<CellInput> PrepareInputs(CDeviceController& device, std::span<const SaveItem> items,
                                     const std::vector<QString>& cells)
{
    std::lock_guard guard(device.ParamLock());
    const ParameterSet& set = device.Params();
    const std::vector<ParameterCellValue> shown = ParameterSetCells(set);
    std::vector<CellInput> inputs;
    inputs.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const SaveItem& item = items[i];
        CellInput input;
        input.cell = cells[i];
        const auto shownCell = std::find_if(shown.begin(), shown.end(), [&](const ParameterCellValue& cell) {
            return cell.row == item.row && cell.column == item.column;
        });
        input.unchanged = shownCell != shown.end() && shownCell->text && *shownCell->text == input.cell;
        const ParameterTableRow* row = TableRow(item);
        if (input.unchanged && row && row->conversion == CellConversion::AsText)
            input.bytes = std::string(StoredText(set, item.field));
        else
            input.bytes = UnicodeToGbk(input.cell);
        inputs.push_back(std::move(input));
    }
    return inputs;
}

// Why a changed cell cannot be saved at all, whatever the terminal would
// say: the bytes sent must be what the user sees, must not end the command
// early, and must fit the field that keeps them.
std::optional<QString> UnsavableCellMessage(const SaveItem& item, const CellInput& input)
{
    if (input.unchanged)
        return std::nullopt;
    if (!input.bytes)
        return QStringLiteral("“%1”含有GBK编码无法表示的字符，请修改后再保存").arg(Label(item));
    const bool control = std::any_of(input.bytes->begin(), input.bytes->end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (control)
        return QStringLiteral("“%1”含有控制字符，请修改后再保存").arg(Label(item));
    const std::optional<std::size_t> capacity = StoredTextCapacity(item);
    if (capacity && input.bytes->size() > *capacity)
        return QStringLiteral("“%1”超过%2字节，请修改后再保存").arg(Label(item)).arg(*capacity);
    return std::nullopt;
}

// Shows a message box on the UI thread and waits until it is closed. Never
// called with the parameter lock held: the UI thread may need it meanwhile.
void ShowMessage(CDeviceController& device, const QString& text)
{
    device.CallOnUi([&] { device.View().ShowMessage(text); });
}

// Reads and prepares the cells of a procedure and refuses, with a message
// box, the first changed cell that cannot be saved. Nothing when the save
// must stop.
std::optional<std::vector<CellInput>> ReadSavableInputs(CDeviceController& device, std::span<const SaveItem> items)
{
    const std::optional<std::vector<QString>> cells = ReadCells(device, items);
    if (!cells)
        return std::nullopt;
    std::vector<CellInput> inputs = PrepareInputs(device, items, *cells);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (const std::optional<QString> message = UnsavableCellMessage(items[i], inputs[i])) {
            ShowMessage(device, *message);
            return std::nullopt;
        }
    }
    return inputs;
}

const std::string& InputBytes(std::span<const SaveItem> items, const std::vector<CellInput>& inputs, int row)
{
    const auto item = std::find_if(items.begin(), items.end(), [row](const SaveItem& entry) { return entry.row == row; });
    return *inputs[static_cast<std::size_t>(item - items.begin())].bytes;
}

std::optional<QString> NetworkInputError(const std::vector<CellInput>& inputs)
{
    const std::string& deviceId = InputBytes(kNetworkItems, inputs, kDeviceIdRow);
    if (deviceId.size() != 8)
        return QStringLiteral("设备ID号必须是8位长度");
    if (!std::all_of(deviceId.begin(), deviceId.end(), IsHexDigit))
        return QStringLiteral("设备ID号必须是十六进制字符串");
    if (InputBytes(kNetworkItems, inputs, kSimNumberRow).size() != 11)
        return QStringLiteral("SIM 卡号必须是11位长度");
    const std::string& smsCentre = InputBytes(kNetworkItems, inputs, kSmsCentreRow);
    const bool smsCentreValid = smsCentre == kDefaultSmsCentreGbk
        || std::all_of(smsCentre.begin(), smsCentre.end(), [](char c) { return IsDigit(c) || c == '+'; });
    if (!smsCentreValid)
        return QStringLiteral("短信中心号码必须是+，或者数字");
    const std::string& heartbeat = InputBytes(kNetworkItems, inputs, kHeartbeatRow);
    const std::int32_t seconds = DecimalValue(heartbeat);
    if (seconds < 31 || seconds > 65535 || heartbeat.size() > 5)
        return QStringLiteral("心跳包大小超出范围,应该介于31到65535之间");
    return std::nullopt;
}

// The value a changed cell stands for; nothing when the item's rule sends
// nothing for this text.
std::optional<ItemValue> ConvertCell(const SaveItem& item, const CellInput& input)
{
    const std::string& bytes = *input.bytes;
    ItemValue value;
    switch (item.rule) {
    case ValueRule::Text:
        value.text = value.compareText = value.storeText = bytes;
        break;
    case ValueRule::SmsCentre:
        value.text = value.compareText = value.storeText = bytes;
        if (input.cell.contains(QStringLiteral("默认"))) {
            // The terminal's own default: no centre is sent, and the picture
            // becomes what a read-back then reports, so the next save does
            // not send it again.
            value.text.clear();
            value.storeText = std::string(kDefaultSmsCentreGbk);
        }
        break;
    case ValueRule::FmFrequency:
        value.text = value.compareText = value.storeText = FmFrequencyHundredths(bytes);
        break;
    case ValueRule::Number:
        value.number = DecimalValue(bytes);
        break;
    case ValueRule::YesNo:
        value.number = input.cell == Yes() ? 1 : 0;
        break;
    case ValueRule::Mp3PlayMode:
        value.number = input.cell == QStringLiteral("单曲循环") ? 1 : input.cell == QStringLiteral("全部循环") ? 2 : 0;
        break;
    case ValueRule::TtsVoice:
        value.number = input.cell == QStringLiteral("女声") ? 0 : 1;
        break;
    case ValueRule::CommModule:
        value.number = input.cell == Yes() ? 1 : 2;
        break;
    case ValueRule::ModuleSwitch:
        if (input.cell == Yes())
            value.number = 1;
        else if (input.cell == No())
            value.number = 0;
        else
            return std::nullopt;
        break;
    }
    return value;
}

bool MatchesStored(const ParameterSet& set, const SaveItem& item, const ItemValue& value)
{
    return std::visit(
        [&](auto member) {
            const auto& stored = set.*member;
            using Stored = std::decay_t<decltype(stored)>;
            if constexpr (std::is_integral_v<Stored>)
                return value.number && *value.number == stored;
            else
                return value.number ? *value.number == DecimalValue(stored.View()) : value.compareText == stored.View();
        },
        item.field);
}

void StoreValue(ParameterSet& set, const SaveItem& item, const ItemValue& value)
{
    std::visit(
        [&](auto member) {
            auto& stored = set.*member;
            using Stored = std::decay_t<decltype(stored)>;
            if constexpr (std::is_integral_v<Stored>) {
                // A value the field cannot hold is not stored; the item then
                // still differs and is sent again by the next save.
                if (value.number && std::in_range<Stored>(*value.number))
                    stored = static_cast<Stored>(*value.number);
            } else {
                stored.Assign(value.number ? std::to_string(*value.number) : value.storeText);
            }
        },
        item.field);
}

// An intercom or pick-up switch the terminal reported as "2" has no module
// behind it: its cell is locked and it is never written.
bool IsAbsentModule(const ParameterSet& set, const SaveItem& item)
{
    return item.rule == ValueRule::ModuleSwitch && DecimalValue(StoredText(set, item.field)) == 2;
}

QByteArray CommandFor(const SaveItem& item, const ItemValue& value)
{
    QByteArray command(item.commandPrefix);
    if (value.number)
        command += QByteArray::number(*value.number);
    else
        command += QByteArray::fromStdString(value.text);
    command += '\r';
    return command;
}

void LogOutcome(CDeviceController& device, const SaveItem& item, const QByteArray& command, bool written,
                LogOrder order)
{
    const QString message = QString::fromUtf8(written ? item.success : item.failure);
    if (order == LogOrder::CommandFirst) {
        device.PostLogBytes(command);
        device.PostLog(message);
    } else {
        device.PostLog(message);
        device.PostLogBytes(command);
    }
}

// The item procedure: compare, send, log, store, pause.
ItemResult SaveItemValue(CDeviceController& device, const SaveItem& item, const CellInput& input, LogOrder order)
{
    if (input.unchanged)
        return ItemResult::Skipped;
    ParameterSet& set = device.Params();
    if (IsAbsentModule(set, item))
        return ItemResult::Skipped;
    const std::optional<ItemValue> value = ConvertCell(item, input);
    if (!value || MatchesStored(set, item, *value))
        return ItemResult::Skipped;

    const QByteArray command = CommandFor(item, *value);
    const bool written = device.SendCommandAndWait(item.replyCode, command);
    LogOutcome(device, item, command, written, order);
    if (!written)
        return ItemResult::Failed;
    {
        // Re-entrant: the procedures that hold the lock for their whole run
        // take it once more here; the preset texts take it only here.
        std::lock_guard guard(device.ParamLock());
        StoreValue(set, item, *value);
    }
    device.Pause(device.timing().itemPauseMs);
    return ItemResult::Written;
}

bool SaveItems(CDeviceController& device, std::span<const SaveItem> items, const std::vector<CellInput>& inputs,
               LogOrder order)
{
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (SaveItemValue(device, items[i], inputs[i], order) == ItemResult::Failed)
            return false;
    }
    return true;
}

}  // namespace

CParameterSaver::CParameterSaver(CDeviceController& device)
    : m_device(device)
{
    // The save enables the buttons itself, whichever way it ends.
    m_device.RegisterTask(TaskCode::SaveAll, [this](DeviceTask&) { SaveAllParameters(); },
                          CDeviceController::ButtonsAfterTask::LeftToTask);
}

void CParameterSaver::OnSaveSettings()
{
    m_device.View().SetBusy(true);
    if (m_device.PostTask(TaskCode::SaveAll)) {
        m_device.PostLog(QStringLiteral("参数保存中，请等待..."));
        return;
    }
    m_device.View().SetBusy(false);
    m_device.PostLog(QStringLiteral("参数保存失败"));
}

void CParameterSaver::SaveAllParameters()
{
    // Cells that cannot be saved at all are refused before anything of the
    // save is sent, not halfway through it.
    const bool savable = ReadSavableInputs(m_device, AllItems()).has_value();
    if (savable && SavePresetTexts() && SavePriorities() && SavePlayCounts() && SaveNetworkParameters()
        && SaveOtherSettings())
        m_device.PostLog(QStringLiteral("参数设置完成"));
    m_device.PostSetBusy(false);
}

bool CParameterSaver::SavePresetTexts()
{
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, kPresetItems);
    if (!inputs)
        return false;
    for (const CellInput& input : *inputs) {
        if (input.bytes->size() > PresetText::kCapacity) {
            m_device.PostLog(QStringLiteral("设置内容失败,数据长度太长...."));
            return false;
        }
    }
    // Compared without the lock; each store takes it.
    return SaveItems(m_device, kPresetItems, *inputs, LogOrder::MessageFirst);
}

bool CParameterSaver::SavePriorities()
{
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, kPriorityItems);
    if (!inputs)
        return false;
    std::lock_guard guard(m_device.ParamLock());
    return SaveItems(m_device, kPriorityItems, *inputs, LogOrder::MessageFirst);
}

bool CParameterSaver::SavePlayCounts()
{
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, kPlayCountItems);
    if (!inputs)
        return false;
    for (const CellInput& input : *inputs) {
        // Taken as unsigned, every negative count is out of range too.
        if (static_cast<std::uint32_t>(DecimalValue(*input.bytes)) > 65535u) {
            m_device.PostLog(QStringLiteral("播放次数参数范围应该是0到65535之间...."));
            return false;
        }
    }
    std::lock_guard guard(m_device.ParamLock());
    return SaveItems(m_device, kPlayCountItems, *inputs, LogOrder::MessageFirst);
}

bool CParameterSaver::SaveNetworkParameters()
{
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, kNetworkItems);
    if (!inputs)
        return false;
    if (const std::optional<QString> error = NetworkInputError(*inputs)) {
        ShowMessage(m_device, *error);
        return false;
    }
    std::lock_guard guard(m_device.ParamLock());
    return SaveItems(m_device, kNetworkItems, *inputs, LogOrder::CommandFirst);
}

bool CParameterSaver::SaveOtherSettings()
{
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, kOtherItems);
    if (!inputs)
        return false;
    const auto fm = std::find_if(std::begin(kOtherItems), std::end(kOtherItems),
                                 [](const SaveItem& item) { return item.row == kFmFrequencyRow; });
    const QString& frequency = (*inputs)[static_cast<std::size_t>(fm - std::begin(kOtherItems))].cell;
    const bool numeric = std::all_of(frequency.begin(), frequency.end(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.');
    });
    if (!numeric) {
        ShowMessage(m_device, QStringLiteral("FM接收频率只能是数字格式"));
        return false;
    }
    std::lock_guard guard(m_device.ParamLock());
    return SaveItems(m_device, kOtherItems, *inputs, LogOrder::MessageFirst);
}
