#include "terminal/SequenceTexts.h"

namespace SequenceTexts {

QString Started(const QString& sequence, int rounds, int steps)
{
    return QStringLiteral("序列 %1 开始：%2 轮，每轮 %3 步").arg(sequence).arg(rounds).arg(steps);
}

QString Finished(const QString& sequence)
{
    return QStringLiteral("序列 %1 完成").arg(sequence);
}

QString StepPrefix(const QString& sequence, int round, int rounds, int step, const SequenceStep& what)
{
    QString action;
    switch (what.kind) {
    case SequenceStep::Kind::Send: action = QStringLiteral("发送 \"%1\"").arg(what.text); break;
    case SequenceStep::Kind::Wait: action = QStringLiteral("等待 \"%1\"").arg(what.text); break;
    case SequenceStep::Kind::Pause: action = QStringLiteral("暂停 %1 ms").arg(what.ms); break;
    }
    return QStringLiteral("序列 %1 第%2/%3轮 第%4步 %5：").arg(sequence).arg(round).arg(rounds).arg(step).arg(action);
}

QString Sent(int bytes)
{
    return QStringLiteral("已发出 %1 字节").arg(bytes);
}

QString UnknownCommand()
{
    return QStringLiteral("命令库中没有这条命令，序列停止");
}

QString PortClosedBeforeSend()
{
    return QStringLiteral("端口未打开，没有发出，序列停止");
}

QString ShortWrite(int written, int total)
{
    return QStringLiteral("只发出 %1/%2 字节，序列停止").arg(written).arg(total);
}

QString ReplyFound(qint64 elapsedMs)
{
    return QStringLiteral("收到，%1 ms").arg(elapsedMs);
}

QString ReplyTimedOut(int limitMs)
{
    return QStringLiteral("超时（%1 ms），序列停止").arg(limitMs);
}

QString Paused()
{
    return QStringLiteral("完成");
}

QString PortClosed()
{
    return QStringLiteral("端口已关闭，序列停止");
}

QString StoppedByUser()
{
    return QStringLiteral("已由用户停止");
}

}  // namespace SequenceTexts
