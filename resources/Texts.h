#pragma once

#include <QString>

// The texts of the windows, kept together so every label reads exactly as
// the technicians' manuals quote it.
namespace Texts {

inline QString AppTitle() { return QStringLiteral("Kestrel预警广播设备配置软件V1.2.1"); }
inline QString Note() { return QStringLiteral("注意：配置完毕后,断电重启设备方可生效！"); }
inline QString AboutMenuEntry() { return QStringLiteral("关于 Sirenset(&A)..."); }
inline QString AboutTitle() { return QStringLiteral("关于 Sirenset"); }
inline QString AboutGroup() { return QStringLiteral("说明"); }
inline QString AboutProduct() { return QStringLiteral("无线预警终端配置软件，1.2 版"); }
inline QString AboutDate() { return QStringLiteral("更新日期：2012-4-17"); }
inline QString Ok() { return QStringLiteral("确定"); }
inline QString NoSerialPort() { return QStringLiteral("没发现串口，程序不能正常执行，请检查串口，退出！"); }

// Main window controls.
inline QString WorkModeGroup() { return QStringLiteral("工作模式"); }
inline QString ConfigurationMode() { return QStringLiteral("配置模式"); }
inline QString CommunicationMode() { return QStringLiteral("通讯模式"); }
inline QString RestartToCommunication() { return QStringLiteral("重启进入通讯模式"); }
inline QString SerialGroup() { return QStringLiteral("串口设置"); }
inline QString PortLabel() { return QStringLiteral("串口号"); }
inline QString BaudLabel() { return QStringLiteral("波特率"); }
inline QString Open() { return QStringLiteral("打开"); }
inline QString Close() { return QStringLiteral("关闭"); }
inline QString AdminNumbers() { return QStringLiteral("管理号码"); }
inline QString AuthorisedNumbers() { return QStringLiteral("授权号码"); }
inline QString BackupNumbers() { return QStringLiteral("备份号码"); }
inline QString Add() { return QStringLiteral("添加"); }
inline QString Delete() { return QStringLiteral("删除"); }
inline QString Reset() { return QStringLiteral("重置"); }
inline QString SaveSettings() { return QStringLiteral("保存设置"); }
inline QString ReadBack() { return QStringLiteral("参数回读"); }
inline QString PowerOnTest() { return QStringLiteral("车载台/FM发射机上电测试"); }
inline QString SaveConfigToFile() { return QStringLiteral("保存配置到文件"); }
inline QString ConfigureFromFile() { return QStringLiteral("从文件配置"); }
inline QString FactoryReset() { return QStringLiteral("恢复出厂"); }
inline QString QueryVersion() { return QStringLiteral("版本查询"); }
inline QString StatusProbe() { return QStringLiteral("自动检测"); }
inline QString SignalMeter() { return QStringLiteral("信号监测"); }
inline QString RtcGroup() { return QStringLiteral("RTC时间设置"); }
inline QString SystemTime() { return QStringLiteral("系统时间"); }
inline QString ManualTime() { return QStringLiteral("手动设置"); }
inline QString SetTime() { return QStringLiteral("时间设置"); }
inline QString ReadRtcTime() { return QStringLiteral("读取RTC时间"); }
inline QString ClearLog() { return QStringLiteral("清空"); }
inline QString SendDataLabel() { return QStringLiteral("发送数据："); }
inline QString Send() { return QStringLiteral("发送"); }
inline QString AppendCarriageReturn() { return QStringLiteral("结尾添加回车符"); }
inline QString HexSend() { return QStringLiteral("十六进制发送"); }
inline QString HexDisplay() { return QStringLiteral("十六进制显示"); }
inline QString TimedSend() { return QStringLiteral("定时发送"); }
inline QString MillisecondsPerSend() { return QStringLiteral("毫秒/次"); }
inline QString ItemColumn() { return QStringLiteral("配置项"); }
inline QString ValueColumn() { return QStringLiteral("配置值"); }

// Additions of the main window: verification, progress, file preview, the
// service record, saving the log, reconnecting.
inline QString VerifyAfterSave() { return QStringLiteral("保存后校验"); }
// %1 items written so far, %2 items in all (QProgressBar's %v and %m).
inline QString SaveProgressFormat() { return QStringLiteral("第 %v / %m 项"); }
inline QString ChangePreviewHeading(int count)
{
    return QStringLiteral("应用此文件将修改以下 %1 项参数：").arg(count);
}
inline QString FileMatchesDevice() { return QStringLiteral("文件与设备的参数相同"); }
inline QString SaveLogMenuEntry() { return QStringLiteral("保存日志…"); }
inline QString SaveLogFailed(const QString& path, const QString& reason)
{
    return QStringLiteral("无法保存日志文件“%1”：%2").arg(path, reason);
}
inline QString LogFileFailed(const QString& path, const QString& reason)
{
    return QStringLiteral("无法写入日志文件“%1”：%2").arg(path, reason);
}
// The last line of a day's log file that reached its size.
inline QString LogFileDayFull() { return QStringLiteral("日志文件已达当日大小上限，今天其余的日志不再写入文件"); }
// Names of the controls that have no label of their own beside them, for
// screen readers and test drivers.
inline QString ParameterTableName() { return QStringLiteral("配置参数"); }
inline QString LogPaneName() { return QStringLiteral("日志"); }
inline QString SaveProgressName() { return QStringLiteral("保存进度"); }
inline QString DatePickerName() { return QStringLiteral("日期"); }
inline QString TimePickerName() { return QStringLiteral("时间"); }
inline QString AutoReconnect() { return QStringLiteral("自动重连"); }
inline QString WaitingForPort(const QString& path)
{
    return QStringLiteral(">>> 自动重连：正在等待串口 %1 重新接入...").arg(path);
}
inline QString PortReopened(const QString& path) { return QStringLiteral(">>> 串口已重新打开：%1").arg(path); }
inline QString PortBackButNotOpened(const QString& path, const QString& reason)
{
    return QStringLiteral(">>> 串口 %1 已重新接入，但无法打开：%2，继续等待...").arg(path, reason);
}

}  // namespace Texts
