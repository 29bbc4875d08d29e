#include "batch/CProfileFileCheck.h"

#include "params/CConfigDocument.h"
#include "profiles/ProfileCheck.h"

#include <QDate>

namespace {

void Print(std::FILE* stream, const QString& line)
{
    std::fputs(line.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

}  // namespace

int CProfileFileCheck::Run(std::FILE* out, std::FILE* err) const
{
    QString why;
    const std::optional<ProjectProfile> profile = LoadProjectProfile(m_command.profileFile, &why);
    if (!profile) {
        Print(err, why);
        return 1;
    }
    CConfigDocument document;
    if (std::optional<QString> refusal = document.OpenFile(m_command.file)) {
        Print(err, QStringLiteral("“%1”：%2").arg(m_command.file, *refusal));
        return 1;
    }
    const TerminalFacts facts{&document.Parameters(), std::nullopt, {}};
    const ProfileCheckResult check = CheckAgainstProfile(*profile, facts, QDate::currentDate());
    for (const QString& line : check.LogLines())
        Print(out, line);
    for (const int rule : check.uncheckedRules)
        Print(out, QStringLiteral("第%1条规则（模块版本）：配置文件中没有模块信息，未检查").arg(rule + 1));
    return check.Conforms() ? 0 : 3;
}
