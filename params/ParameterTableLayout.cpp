#include "params/ParameterTableLayout.h"

#include "params/DecimalValue.h"
#include "params/GbkText.h"

#include <cstdint>
#include <cstdlib>

namespace {

using Editor = ParameterEditor;
using Field = ParameterField;
using Conversion = CellConversion;

QStringList NumberChoices(int first, int last)
{
    QStringList choices;
    for (int value = first; value <= last; ++value)
        choices.append(QString::number(value));
    return choices;
}

QString Yes() { return QStringLiteral("是"); }
QString No() { return QStringLiteral("否"); }

ParameterTableRow Heading(int row, int labelColumn, const QString& label)
{
    return {row, labelColumn, labelColumn + 1, label, Editor::Heading, {}, Field::None, Conversion::None};
}

ParameterTableRow Left(int row, const QString& label, Editor editor, Field field, Conversion conversion,
                       const QStringList& choices = {})
{
    return {row, kLeftLabelColumn, kLeftValueColumn, label, editor, choices, field, conversion};
}

ParameterTableRow Right(int row, const QString& label, Editor editor, Field field, Conversion conversion,
                        const QStringList& choices = {})
{
    return {row, kRightLabelColumn, kRightValueColumn, label, editor, choices, field, conversion};
}

std::vector<ParameterTableRow> BuildRows()
{
    const QStringList priorities = NumberChoices(1, 10);
    const QStringList noYes{No(), Yes()};
    const QStringList yesNo{Yes(), No()};
    return {
        Heading(0, kLeftLabelColumn, QStringLiteral("预置内容设置")),
        Left(1, QStringLiteral("预置内容一:"), Editor::Text, Field::PresetText1, Conversion::AsText),
        Left(2, QStringLiteral("预置内容二:"), Editor::Text, Field::PresetText2, Conversion::AsText),
        Left(3, QStringLiteral("预置内容三:"), Editor::Text, Field::PresetText3, Conversion::AsText),
        Heading(4, kLeftLabelColumn, QStringLiteral("优先级设置")),
        Left(5, QStringLiteral("电话预警:"), Editor::Choice, Field::PhonePriority, Conversion::Decimal, priorities),
        Left(6, QStringLiteral("短信预警:"), Editor::Choice, Field::SmsPriority, Conversion::Decimal, priorities),
        Left(7, QStringLiteral("GPRS数据预警:"), Editor::Choice, Field::GprsPriority, Conversion::Decimal, priorities),
        Left(8, QStringLiteral("本地麦克风预警:"), Editor::Choice, Field::MicPriority, Conversion::Decimal, priorities),
        Left(9, QStringLiteral("FM调频预警:"), Editor::Choice, Field::FmPriority, Conversion::Decimal, priorities),
        Left(10, QStringLiteral("对讲机预警:"), Editor::Choice, Field::IntercomPriority, Conversion::Decimal, priorities),
        Left(11, QStringLiteral("预置内容预警:"), Editor::Choice, Field::LocalAlarmPriority, Conversion::Decimal,
             priorities),
        Left(12, QStringLiteral("Line in 输入预警:"), Editor::Choice, Field::LineInPriority, Conversion::Decimal,
             priorities),
        Left(13, QStringLiteral("MP3预警:"), Editor::Choice, Field::Mp3Priority, Conversion::Decimal, priorities),
        Heading(14, kLeftLabelColumn, QStringLiteral("预警播报次数设置")),
        Left(15, QStringLiteral("短信预警播报次数:"), Editor::Digits, Field::SmsPlayCount, Conversion::Decimal),
        Left(16, QStringLiteral("GPRS预警播报次数:"), Editor::Digits, Field::GprsPlayCount, Conversion::Decimal),
        Left(17, QStringLiteral("本地预警播报次数:"), Editor::Digits, Field::LocalPlayCount, Conversion::Decimal),
        Heading(18, kLeftLabelColumn, QStringLiteral("其他设置")),
        Left(19, QStringLiteral("是否短信回执:"), Editor::Choice, Field::SmsReceipt, Conversion::YesIfOne, noYes),
        Left(20, QStringLiteral("是否短信预警备份:"), Editor::Choice, Field::SmsBackup, Conversion::YesIfValueNonZero,
             yesNo),
        Left(21, QStringLiteral("状态短信发送时间间隔(分钟):"), Editor::Digits, Field::StatusSmsInterval,
             Conversion::AsText),
        Left(22, QStringLiteral("FM接收频率(MHz):"), Editor::Text, Field::FmFrequency, Conversion::FmFrequency),
        Left(23, QStringLiteral("FM接收信噪比:"), Editor::Digits, Field::FmSnr, Conversion::AsText),
        Left(24, QStringLiteral("FM音量:"), Editor::Choice, Field::FmVolume, Conversion::AsText, NumberChoices(0, 47)),
        Left(25, QStringLiteral("是否启用FM接收:"), Editor::Choice, Field::FmReceiveEnabled,
             Conversion::YesIfExactlyOne, noYes),
        Left(26, QStringLiteral("MP3播放模式:"), Editor::Choice, Field::Mp3PlayMode, Conversion::Mp3PlayMode,
             {QStringLiteral("单曲"), QStringLiteral("单曲循环"), QStringLiteral("全部循环")}),
        Left(27, QStringLiteral("MP3播放音量:"), Editor::Choice, Field::Mp3Volume, Conversion::AsText,
             NumberChoices(0, 26)),
        Left(28, QStringLiteral("TTS语音模式:"), Editor::Choice, Field::TtsVoice, Conversion::TtsVoice,
             {QStringLiteral("女声"), QStringLiteral("男声")}),
        Left(29, QStringLiteral("TTS播放音量:"), Editor::Choice, Field::TtsVolume, Conversion::AsText, priorities),
        Left(30, QStringLiteral("TTS播放语速:"), Editor::Choice, Field::TtsSpeed, Conversion::AsText, priorities),
        Left(31, QStringLiteral("TTS播放语调:"), Editor::Choice, Field::TtsTone, Conversion::AsText, priorities),
        Left(32, QStringLiteral("是否带通讯模块:"), Editor::Choice, Field::CommModule, Conversion::YesIfExactlyOne,
             yesNo),
        Left(33, QStringLiteral("是否开启对讲机模块:"), Editor::Choice, Field::IntercomEnabled,
             Conversion::ModuleSwitch, noYes),
        Left(34, QStringLiteral("是否开启拾音器功能:"), Editor::Choice, Field::PickupEnabled, Conversion::ModuleSwitch,
             noYes),

        Heading(0, kRightLabelColumn, QStringLiteral("GPRS中心设置")),
        Right(1, QStringLiteral("数据中心数目:"), Editor::Choice, Field::ServerCount, Conversion::AsText,
              NumberChoices(0, 1)),
        Right(2, QStringLiteral("GPRS主中心地址"), Editor::Text, Field::ServerIp, Conversion::AsText),
        Right(3, QStringLiteral("GPRS主中心端口"), Editor::Digits, Field::ServerPort, Conversion::AsText),
        Right(4, QStringLiteral("GPRS备份中心地址:"), Editor::Text, Field::BackupServerIp, Conversion::AsText),
        Right(5, QStringLiteral("GPRS备份中心端口:"), Editor::Digits, Field::BackupServerPort, Conversion::AsText),
        Right(6, QStringLiteral("主中心DNS服务器IP:"), Editor::Text, Field::DnsServer, Conversion::AsText),
        Right(7, QStringLiteral("备份中心DNS服务器IP:"), Editor::Text, Field::BackupDnsServer, Conversion::AsText),
        Heading(8, kRightLabelColumn, QStringLiteral("工作参数设置")),
        Right(9, QStringLiteral("调试等级:"), Editor::Choice, Field::DebugLevel, Conversion::AsText,
              NumberChoices(0, 2)),
        Right(10, QStringLiteral("是否自动返回主中心:"), Editor::Choice, Field::ReturnToMainServer,
              Conversion::YesIfValueNonZero, noYes),
        Right(11, QStringLiteral("设备ID号码(固定8位):"), Editor::Text, Field::DeviceId, Conversion::AsText),
        Right(12, QStringLiteral("设备SIM号码(固定11位):"), Editor::Digits, Field::SimNumber, Conversion::AsText),
        Right(13, QStringLiteral("重连时尝试次数(2-65535):"), Editor::Digits, Field::LinkRetryTimes,
              Conversion::AsText),
        Right(14, QStringLiteral("重连任务之间的间隔(30-65535秒):"), Editor::Digits, Field::RedialInterval,
              Conversion::AsText),
        Heading(15, kRightLabelColumn, QStringLiteral("网络参数")),
        Right(16, QStringLiteral("无线网络APN:"), Editor::Text, Field::Apn, Conversion::AsText),
        Right(17, QStringLiteral("APN用户名"), Editor::Text, Field::ApnUser, Conversion::AsText),
        Right(18, QStringLiteral("APN密码:"), Editor::Text, Field::ApnPassword, Conversion::AsText),
        Right(19, QStringLiteral("APN拨号中心号码:"), Editor::Text, Field::DialNumber, Conversion::AsText),
        Right(20, QStringLiteral("短信中心号码(+86):"), Editor::Text, Field::SmsCentre, Conversion::AsText),
        Right(21, QStringLiteral("心跳包时间(31到65535):"), Editor::Digits, Field::HeartbeatSeconds,
              Conversion::AsText),
    };
}

// The numeric fields (priorities, SMS receipt flag, play counts).
std::int32_t FieldNumber(const ParameterSet& set, Field field)
{
    switch (field) {
    case Field::PhonePriority: return set.phonePriority;
    case Field::SmsPriority: return set.smsPriority;
    case Field::GprsPriority: return set.gprsPriority;
    case Field::MicPriority: return set.micPriority;
    case Field::FmPriority: return set.fmPriority;
    case Field::IntercomPriority: return set.intercomPriority;
    case Field::LocalAlarmPriority: return set.localAlarmPriority;
    case Field::LineInPriority: return set.lineInPriority;
    case Field::Mp3Priority: return set.mp3Priority;
    case Field::SmsPlayCount: return set.smsPlayCount;
    case Field::GprsPlayCount: return set.gprsPlayCount;
    case Field::LocalPlayCount: return set.localPlayCount;
    case Field::SmsReceipt: return set.smsReceipt;
    default: return 0;
    }
}

// The text fields, as GBK bytes.
std::string_view FieldText(const ParameterSet& set, Field field)
{
    switch (field) {
    case Field::PresetText1: return set.presetText1.View();
    case Field::PresetText2: return set.presetText2.View();
    case Field::PresetText3: return set.presetText3.View();
    case Field::SmsBackup: return set.smsBackup.View();
    case Field::StatusSmsInterval: return set.statusSmsInterval.View();
    case Field::FmFrequency: return set.fmFrequency.View();
    case Field::FmSnr: return set.fmSnr.View();
    case Field::FmVolume: return set.fmVolume.View();
    case Field::FmReceiveEnabled: return set.fmReceiveEnabled.View();
    case Field::Mp3PlayMode: return set.mp3PlayMode.View();
    case Field::Mp3Volume: return set.mp3Volume.View();
    case Field::TtsVoice: return set.ttsVoice.View();
    case Field::TtsVolume: return set.ttsVolume.View();
    case Field::TtsSpeed: return set.ttsSpeed.View();
    case Field::TtsTone: return set.ttsTone.View();
    case Field::CommModule: return set.commModule.View();
    case Field::IntercomEnabled: return set.intercomEnabled.View();
    case Field::PickupEnabled: return set.pickupEnabled.View();
    case Field::ServerCount: return set.serverCount.View();
    case Field::ServerIp: return set.serverIp.View();
    case Field::ServerPort: return set.serverPort.View();
    case Field::BackupServerIp: return set.backupServerIp.View();
    case Field::BackupServerPort: return set.backupServerPort.View();
    case Field::DnsServer: return set.dnsServer.View();
    case Field::BackupDnsServer: return set.backupDnsServer.View();
    case Field::DebugLevel: return set.debugLevel.View();
    case Field::ReturnToMainServer: return set.returnToMainServer.View();
    case Field::DeviceId: return set.deviceId.View();
    case Field::SimNumber: return set.simNumber.View();
    case Field::LinkRetryTimes: return set.linkRetryTimes.View();
    case Field::RedialInterval: return set.redialInterval.View();
    case Field::Apn: return set.apn.View();
    case Field::ApnUser: return set.apnUser.View();
    case Field::ApnPassword: return set.apnPassword.View();
    case Field::DialNumber: return set.dialNumber.View();
    case Field::SmsCentre: return set.smsCentre.View();
    case Field::HeartbeatSeconds: return set.heartbeatSeconds.View();
    default: return {};
    }
}

// Hundredths as "%.02f" prints value / 100.0, worked out in integers so the
// text is exact and independent of the process locale's decimal point.
QString Hundredths(std::int32_t value)
{
    const std::int64_t wide = value;
    const std::int64_t magnitude = wide < 0 ? -wide : wide;
    return QStringLiteral("%1%2.%3")
        .arg(wide < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / 100)
        .arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}

ParameterCellValue ConvertCell(const ParameterSet& set, const ParameterTableRow& row)
{
    ParameterCellValue cell{row.row, row.valueColumn, std::nullopt, {}, false};
    const std::string_view text = FieldText(set, row.field);
    switch (row.conversion) {
    case Conversion::None:
        break;
    case Conversion::AsText:
        cell.text = GbkToUnicode(text);
        cell.bytes = std::string(text);
        break;
    case Conversion::Decimal:
        cell.text = QString::number(FieldNumber(set, row.field));
        break;
    case Conversion::YesIfOne:
        cell.text = FieldNumber(set, row.field) == 1 ? Yes() : No();
        break;
    case Conversion::YesIfValueNonZero:
        cell.text = DecimalValue(text) != 0 ? Yes() : No();
        break;
    case Conversion::YesIfExactlyOne:
        cell.text = text == "1" ? Yes() : No();
        break;
    case Conversion::FmFrequency:
        cell.text = Hundredths(DecimalValue(text));
        break;
    case Conversion::Mp3PlayMode: {
        const std::int32_t mode = DecimalValue(text);
        if (mode >= 0 && mode < row.choices.size())
            cell.text = row.choices.at(mode);
        break;
    }
    case Conversion::TtsVoice:
        cell.text = DecimalValue(text) == 0 ? row.choices.at(0) : row.choices.at(1);
        break;
    case Conversion::ModuleSwitch: {
        const std::int32_t state = DecimalValue(text);
        if (state == 2)
            cell.lockReadOnly = true;
        else
            cell.text = state == 1 ? Yes() : No();
        break;
    }
    }
    return cell;
}

}  // namespace

const std::array<ParameterTableColumn, 4>& ParameterTableColumns()
{
    static const std::array<ParameterTableColumn, 4> columns{{
        {QStringLiteral("配置项"), 170, true},
        {QStringLiteral("配置值"), 180, false},
        {QStringLiteral("配置项"), 170, true},
        {QStringLiteral("配置值"), 130, false},
    }};
    return columns;
}

const std::vector<ParameterTableRow>& ParameterTableRows()
{
    static const std::vector<ParameterTableRow> rows = BuildRows();
    return rows;
}

const ParameterTableRow* FindParameterTableRow(int row, int column)
{
    for (const ParameterTableRow& entry : ParameterTableRows()) {
        if (entry.row == row && (entry.labelColumn == column || entry.valueColumn == column))
            return &entry;
    }
    return nullptr;
}

std::vector<ParameterCellValue> ParameterSetCells(const ParameterSet& set)
{
    std::vector<ParameterCellValue> cells;
    for (const ParameterTableRow& row : ParameterTableRows()) {
        if (row.editor != ParameterEditor::Heading)
            cells.push_back(ConvertCell(set, row));
    }
    return cells;
}
