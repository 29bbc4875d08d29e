#include "batch/CConfigFileEdit.h"

#include "params/CConfigDocument.h"

namespace {

void Print(std::FILE* stream, const QString& line)
{
    std::fputs(line.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

// The label as the echo names it: the colon the table's labels end in (and
// the one a user may type) gives way to the echo's own "：".
QString EchoedLabel(QString label)
{
    label = label.trimmed();
    while (label.endsWith(QLatin1Char(':')) || label.endsWith(QChar(0xFF1A)))
        label = label.chopped(1).trimmed();
    return label;
}

}  // namespace

int CConfigFileEdit::Run(std::FILE* out, std::FILE* err) const
{
    CConfigDocument document;
    if (std::optional<QString> refusal = document.OpenFile(m_command.file)) {
        Print(err, QStringLiteral("“%1”：%2，未写入任何文件").arg(m_command.file, *refusal));
        return 1;
    }
    for (const QString& setting : m_command.settings) {
        const qsizetype equals = setting.indexOf(QLatin1Char('='));
        const QString label = setting.left(equals);
        const QString value = setting.mid(equals + 1);
        const QString before = document.DisplayedValue(label).value_or(QString());
        if (std::optional<QString> refusal = document.SetValue(label, value)) {
            Print(err, QStringLiteral("--set “%1”：%2，未写入任何文件").arg(setting, *refusal));
            return 1;
        }
        const QString after = document.DisplayedValue(label).value_or(QString());
        if (before != after)
            Print(out, QStringLiteral("%1：“%2” → “%3”").arg(EchoedLabel(label), before, after));
    }
    if (std::optional<QString> refusal = document.SaveFile(m_command.outputFile)) {
        Print(err, QStringLiteral("“%1”：%2").arg(m_command.outputFile, *refusal));
        return 1;
    }
    Print(out, QStringLiteral("已写入“%1”").arg(m_command.outputFile));
    return 0;
}
