#include "params/SavePlan.h"

#include "params/DecimalValue.h"
#include "params/GbkText.h"
#include "params/ParameterReport.h"
#include "params/ParameterTableLayout.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <string_view>
#include <type_traits>

namespace {

constexpr int L = kLeftValueColumn;
constexpr int R = kRightValueColumn;
constexpr std::int8_t kOk = kAnyOkReply;
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

}  // namespace

const std::vector<SaveItem>& AllSaveItems()
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

namespace {

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

}  // namespace

QString SaveItemLabel(const SaveItem& item)
{
    const ParameterTableRow* row = TableRow(item);
    QString label = row ? row->label : QString();
    while (label.endsWith(QLatin1Char(':')) || label.endsWith(QChar(0xFF1A)))
        label.chop(1);
    return label;
}

namespace {

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



}  // namespace

std::span<const SaveItem> SaveItems(SaveProcedure procedure)
{
    switch (procedure) {
    case SaveProcedure::PresetTexts: return kPresetItems;
    case SaveProcedure::Priorities: return kPriorityItems;
    case SaveProcedure::PlayCounts: return kPlayCountItems;
    case SaveProcedure::Network: return kNetworkItems;
    case SaveProcedure::OtherSettings: return kOtherItems;
    }
    return {};
}

std::vector<CellInput> PrepareSaveInputs(std::span<const SaveItem> items, const std::vector<QString>& cells,
                                         const ShownCells& shown)
{
    std::vector<CellInput> inputs;
    inputs.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const SaveItem& item = items[i];
        CellInput input;
        input.cell = i < cells.size() ? cells[i] : QString();
        const auto filled = shown.find({item.row, item.column});
        input.untyped = filled != shown.end() && filled->second.text == input.cell;
        const ParameterTableRow* row = TableRow(item);
        if (input.untyped && row && row->conversion == CellConversion::AsText)
            input.bytes = filled->second.bytes;
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
    if (input.untyped)
        return std::nullopt;
    if (!input.bytes)
        return QStringLiteral("“%1”含有GBK编码无法表示的字符，请修改后再保存").arg(SaveItemLabel(item));
    const bool control = std::any_of(input.bytes->begin(), input.bytes->end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (control)
        return QStringLiteral("“%1”含有控制字符，请修改后再保存").arg(SaveItemLabel(item));
    const std::optional<std::size_t> capacity = StoredTextCapacity(item);
    if (capacity && input.bytes->size() > *capacity)
        return QStringLiteral("“%1”超过%2字节，请修改后再保存").arg(SaveItemLabel(item)).arg(*capacity);
    return std::nullopt;
}


std::optional<QString> FirstUnsavableCell(std::span<const SaveItem> items, const std::vector<CellInput>& inputs)
{
    for (std::size_t i = 0; i < items.size() && i < inputs.size(); ++i) {
        if (std::optional<QString> message = UnsavableCellMessage(items[i], inputs[i]))
            return message;
    }
    return std::nullopt;
}

namespace {

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



}  // namespace

std::optional<SaveRefusal> PresetTextCheck(const std::vector<CellInput>& inputs)
{
    for (const CellInput& input : inputs) {
        if (input.bytes && input.bytes->size() > PresetText::kCapacity)
            return SaveRefusal{SaveRefusal::Shown::Log, QStringLiteral("设置内容失败,数据长度太长....")};
    }
    return std::nullopt;
}

std::optional<SaveRefusal> PlayCountCheck(const std::vector<CellInput>& inputs)
{
    for (const CellInput& input : inputs) {
        // Taken as unsigned, every negative count is out of range too.
        if (input.bytes && static_cast<std::uint32_t>(DecimalValue(*input.bytes)) > 65535u)
            return SaveRefusal{SaveRefusal::Shown::Log, QStringLiteral("播放次数参数范围应该是0到65535之间....")};
    }
    return std::nullopt;
}

std::optional<SaveRefusal> NetworkCheck(const std::vector<CellInput>& inputs)
{
    if (std::optional<QString> error = NetworkInputError(inputs))
        return SaveRefusal{SaveRefusal::Shown::MessageBox, *error};
    return std::nullopt;
}

std::optional<SaveRefusal> OtherSettingsCheck(const std::vector<CellInput>& inputs)
{
    const auto fm = std::find_if(std::begin(kOtherItems), std::end(kOtherItems),
                                 [](const SaveItem& item) { return item.row == kFmFrequencyRow; });
    const QString& frequency = inputs[static_cast<std::size_t>(fm - std::begin(kOtherItems))].cell;
    const bool numeric = std::all_of(frequency.begin(), frequency.end(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.');
    });
    if (!numeric)
        return SaveRefusal{SaveRefusal::Shown::MessageBox, QStringLiteral("FM接收频率只能是数字格式")};
    return std::nullopt;
}

std::optional<SaveRefusal> CheckWholeSave(const std::vector<CellInput>& inputs)
{
    if (std::optional<QString> message = FirstUnsavableCell(AllSaveItems(), inputs))
        return SaveRefusal{SaveRefusal::Shown::MessageBox, *message};
    using Check = std::optional<SaveRefusal> (*)(const std::vector<CellInput>&);
    const std::pair<SaveProcedure, Check> checks[] = {
        {SaveProcedure::PresetTexts, &PresetTextCheck},
        {SaveProcedure::PlayCounts, &PlayCountCheck},
        {SaveProcedure::Network, &NetworkCheck},
        {SaveProcedure::OtherSettings, &OtherSettingsCheck},
    };
    for (const auto& [procedure, check] : checks) {
        // The procedures' items stand in AllSaveItems() in procedure order.
        std::size_t offset = 0;
        for (SaveProcedure earlier : {SaveProcedure::PresetTexts, SaveProcedure::Priorities, SaveProcedure::PlayCounts,
                                      SaveProcedure::Network}) {
            if (earlier == procedure)
                break;
            offset += SaveItems(earlier).size();
        }
        const auto first = inputs.begin() + static_cast<std::ptrdiff_t>(offset);
        const std::vector<CellInput> own(first, first + static_cast<std::ptrdiff_t>(SaveItems(procedure).size()));
        if (std::optional<SaveRefusal> refusal = check(own))
            return refusal;
    }
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
            // The terminal's own default: an empty centre is sent and kept as
            // sent. Until a read-back reports "默认" again, the cell differs
            // from the picture, so a later save sends the empty centre again
            // rather than trusting a write it has not seen read back.
            value.text.clear();
            value.storeText.clear();
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


QByteArray SaveCommand(const SaveItem& item, const ItemValue& value)
{
    QByteArray command(item.commandPrefix);
    if (value.number)
        command += QByteArray::number(*value.number);
    else
        command += QByteArray::fromStdString(value.text);
    command += '\r';
    return command;
}


std::vector<PlannedWrite> PlanSave(const ParameterSet& stored, const std::vector<CellInput>& inputs)
{
    std::vector<PlannedWrite> writes;
    const std::vector<SaveItem>& items = AllSaveItems();
    for (std::size_t i = 0; i < items.size() && i < inputs.size(); ++i) {
        if (!inputs[i].bytes)
            continue;
        std::optional<ItemValue> value = ConvertCell(items[i], inputs[i]);
        if (!value || MatchesStored(stored, items[i], *value))
            continue;
        PlannedWrite write;
        write.item = &items[i];
        write.command = SaveCommand(items[i], *value);
        write.value = std::move(*value);
        writes.push_back(std::move(write));
    }
    return writes;
}

namespace {

// Labels compared without case, padding or a closing colon.
QString LabelKey(QString label)
{
    label = label.trimmed();
    while (label.endsWith(QLatin1Char(':')) || label.endsWith(QChar(0xFF1A)))
        label = label.chopped(1).trimmed();
    return label.toCaseFolded();
}

template <typename Field>
bool SameField(const StoredField& stored, Field field)
{
    return std::visit(
        [&](auto member) {
            if constexpr (std::is_same_v<decltype(member), Field>)
                return member == field;
            else
                return false;
        },
        stored);
}

}  // namespace

const SaveItem* FindSaveItemByLabel(const QString& label)
{
    const QString key = LabelKey(label);
    if (key.isEmpty())
        return nullptr;
    for (const SaveItem& item : AllSaveItems()) {
        if (LabelKey(SaveItemLabel(item)) == key)
            return &item;
    }
    for (const ReportLabelField& line : ReportLabelFields()) {
        if (LabelKey(QString::fromLatin1(line.label.data(), static_cast<qsizetype>(line.label.size()))) != key)
            continue;
        for (const SaveItem& item : AllSaveItems()) {
            const bool same = std::visit([&](auto field) { return SameField(item.field, field); }, line.field);
            if (same)
                return &item;
        }
    }
    return nullptr;
}

QString ShownValueText(const ParameterSet& set, const SaveItem& item)
{
    for (const ParameterCellValue& cell : ParameterSetCells(set)) {
        if (cell.row == item.row && cell.column == item.column)
            return cell.text.value_or(QString());
    }
    return {};
}

std::vector<VerifyMismatch> CompareWrittenItems(const ParameterSet& readBack, const std::vector<WrittenItem>& written)
{
    std::vector<VerifyMismatch> mismatches;
    for (const WrittenItem& write : written) {
        if (MatchesStored(readBack, *write.item, write.value))
            continue;
        mismatches.push_back({write.item, write.cell, ShownValueText(readBack, *write.item)});
    }
    return mismatches;
}

QString VerifyMismatchText(const VerifyMismatch& mismatch)
{
    return QStringLiteral("%1：发送“%2”，读回“%3”").arg(SaveItemLabel(*mismatch.item), mismatch.sent, mismatch.read);
}
