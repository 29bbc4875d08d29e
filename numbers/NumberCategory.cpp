#include "numbers/NumberCategory.h"

std::atomic<int> NumberCategory::s_default{NumberCategory::kAdministrator};

QString NumberCategory::Name(int category)
{
    switch (category) {
    case kAdministrator: return QStringLiteral("管理号码");
    case kAuthorised: return QStringLiteral("授权号码");
    case kBackup: return QStringLiteral("备份号码");
    default: return {};
    }
}

void NumberCategory::SetDefault(int category)
{
    s_default.store(category);
}

int NumberCategory::Default()
{
    return s_default.load();
}
