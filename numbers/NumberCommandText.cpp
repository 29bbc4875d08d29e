#include "numbers/NumberCommandText.h"

#include "numbers/NumberCategory.h"
#include "params/NumberList.h"

namespace NumberCommandText {

namespace {

// The part of a command name that tells the list apart.
QByteArray ListName(int category)
{
    switch (category) {
    case NumberCategory::kAdministrator: return QByteArrayLiteral("ADMINNO=");
    case NumberCategory::kAuthorised: return QByteArrayLiteral("LRMNO=");
    case NumberCategory::kBackup: return QByteArrayLiteral("BKNO=");
    default: return {};
    }
}

QByteArray Prefix(const char* operation, int category)
{
    const QByteArray name = ListName(category);
    return name.isEmpty() ? QByteArray() : QByteArray("AT+LRM") + operation + name;
}

}  // namespace

QByteArray AddPrefix(int category)
{
    return Prefix("ADD", category);
}

QByteArray DeletePrefix(int category)
{
    return Prefix("DEL", category);
}

QByteArray SetPrefix(int category)
{
    return Prefix("SET", category);
}

QByteArray AddCommand(int category, const QByteArray& numberText)
{
    const QByteArray prefix = AddPrefix(category);
    return prefix.isEmpty() ? QByteArray() : prefix + numberText + '\r';
}

QByteArray ResetCommand(int category)
{
    const QByteArray prefix = SetPrefix(category);
    return prefix.isEmpty() ? QByteArray() : prefix + '\r';
}

QByteArray DeleteCommand(int category, const QList<QByteArray>& numbers)
{
    const QByteArray prefix = DeletePrefix(category);
    if (prefix.isEmpty() || numbers.isEmpty())
        return {};
    return prefix + numbers.join(',') + '\r';
}

QByteArray WholeListCommand(int category, const NumberList& list)
{
    const QByteArray prefix = SetPrefix(category);
    if (prefix.isEmpty())
        return {};
    return prefix + QByteArray::fromStdString(list.JoinedWithCommas()) + '\r';
}

QByteArray PowerOnTestCommand()
{
    return QByteArrayLiteral("AT+LRMSNDPOWER\r");
}

std::optional<AddedNumbers> SplitAddCommand(int category, const QByteArray& command)
{
    const QByteArray prefix = AddPrefix(category);
    if (prefix.isEmpty() || !command.startsWith(prefix))
        return std::nullopt;
    QByteArray body = command.mid(prefix.size());
    if (body.endsWith('\r'))
        body.chop(1);
    AddedNumbers numbers;
    QList<QByteArray> parts = body.split(',');
    numbers.last = parts.takeLast();
    numbers.followedByComma = std::move(parts);
    return numbers;
}

}  // namespace NumberCommandText
