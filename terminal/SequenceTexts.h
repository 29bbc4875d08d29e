#pragma once

#include "terminal/SequenceStep.h"

#include <QString>

// The log lines of a running command sequence, one per event, e.g.
//   序列 读版本 开始：3 轮，每轮 2 步
//   序列 读版本 第1/3轮 第1步 发送 "版本"：已发出 7 字节
//   序列 读版本 第1/3轮 第2步 等待 "OK"：收到，38 ms
//   序列 读版本 第2/3轮 第2步 等待 "OK"：超时（1000 ms），序列停止
//   序列 读版本 完成
namespace SequenceTexts {

QString Started(const QString& sequence, int rounds, int steps);
QString Finished(const QString& sequence);

// "序列 <name> 第<round>/<rounds>轮 第<step>步 <what the step does>："
QString StepPrefix(const QString& sequence, int round, int rounds, int step, const SequenceStep& what);

// The endings after StepPrefix.
QString Sent(int bytes);
QString UnknownCommand();
QString PortClosedBeforeSend();
QString ShortWrite(int written, int total);
QString ReplyFound(qint64 elapsedMs);
QString ReplyTimedOut(int limitMs);
QString Paused();
QString PortClosed();
QString StoppedByUser();

}  // namespace SequenceTexts
