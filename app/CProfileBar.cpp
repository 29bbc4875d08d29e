#include "app/CProfileBar.h"

#include "controls/MessageBoxes.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {

const char* const kNoProfile = "未选择";
// The widest a profile's name is shown, in pixels.
constexpr int kLongestName = 260;

}  // namespace

CProfileBar::CProfileBar(QWidget* parent)
    : QWidget(parent)
{
    m_chooseButton = new QPushButton(QStringLiteral("项目规范…"), this);
    m_chooseButton->setObjectName(QStringLiteral("profileChooseButton"));
    m_chooseButton->setToolTip(QStringLiteral("选择项目配置规范文件（JSON），每次回读后按它检查设备"));
    m_profileLabel = new QLabel(QString::fromUtf8(kNoProfile), this);
    m_profileLabel->setObjectName(QStringLiteral("profileNameLabel"));
    m_profileLabel->setAccessibleName(QStringLiteral("项目规范"));
    m_profileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_stateLabel = new QLabel(this);
    m_stateLabel->setObjectName(QStringLiteral("profileStateLabel"));
    m_stateLabel->setAccessibleName(QStringLiteral("规范检查结果"));
    m_conformButton = new QPushButton(QStringLiteral("按规范修正"), this);
    m_conformButton->setObjectName(QStringLiteral("conformButton"));
    m_conformButton->setToolTip(QStringLiteral("只发送与项目规范不符、可以按规范改正的项，发送前先列出"));
    // Enter in the table must not press a button of this row.
    for (QPushButton* button : {m_chooseButton, m_conformButton})
        button->setAutoDefault(false);

    // One row of buttons high, whatever height the window has to spare.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_chooseButton);
    layout->addWidget(m_profileLabel);
    layout->addSpacing(8);
    layout->addWidget(m_stateLabel);
    layout->addWidget(m_conformButton);

    connect(m_chooseButton, &QPushButton::clicked, this, &CProfileBar::OnChooseClicked);
    connect(m_conformButton, &QPushButton::clicked, this, &CProfileBar::conformRequested);
    ShowCheck(nullptr);
}

std::optional<QString> CProfileBar::LoadProfile(const QString& path)
{
    QString why;
    std::optional<ProjectProfile> profile = LoadProjectProfile(path, &why);
    if (!profile)
        return why;
    m_profile = std::make_shared<const ProjectProfile>(std::move(*profile));
    m_path = path;
    // A long name is cut short so that the row keeps its place; the
    // tooltip has it whole, with the description and the file.
    const QString title = m_profile->Title();
    m_profileLabel->setText(m_profileLabel->fontMetrics().elidedText(title, Qt::ElideMiddle, kLongestName));
    QStringList tip{title};
    if (!m_profile->description.isEmpty())
        tip << m_profile->description;
    tip << QDir::toNativeSeparators(path);
    m_profileLabel->setToolTip(tip.join(QLatin1Char('\n')));
    ShowCheck(nullptr);
    emit profileChanged();
    return std::nullopt;
}

void CProfileBar::OnChooseClicked()
{
    const QString path = MessageBoxes::GetOpenFileName(this, m_path, QStringLiteral("项目配置规范 (*.json)"));
    if (path.isEmpty())
        return;
    if (const std::optional<QString> refusal = LoadProfile(path)) {
        // The reason names the file and the place in it; the box adds what
        // is in use now.
        const QString kept = m_profile ? QStringLiteral("继续使用%1。").arg(m_profile->Title())
                                       : QStringLiteral("未使用任何项目配置规范。");
        MessageBoxes::Show(this, *refusal + QStringLiteral("\n\n") + kept, {}, MessageBoxes::Buttons::Ok,
                           MessageBoxes::Icon::Warning);
        return;
    }
    emit profileChosen(path);
}

QString CProfileBar::StateText(const ProfileCheckResult* check)
{
    if (!check)
        return QStringLiteral("未检查");
    if (check->Conforms())
        return QStringLiteral("符合规范");
    return QStringLiteral("不符合规范: %1 项").arg(check->CountingDeviations());
}

void CProfileBar::ShowCheck(const ProfileCheckResult* check)
{
    m_stateLabel->setText(StateText(check));
    // Green when it conforms, red when not; 未检查 in the window's colours.
    const char* colour = !check ? "" : check->Conforms() ? "color: #1a7f37;" : "color: #c00000; font-weight: bold;";
    m_stateLabel->setStyleSheet(QString::fromLatin1(colour));
    m_deviates = check && !check->deviations.empty();
    UpdateConformButton();
}

void CProfileBar::SetIdle(bool idle)
{
    m_idle = idle;
    UpdateConformButton();
}

void CProfileBar::UpdateConformButton()
{
    m_conformButton->setEnabled(m_idle && m_profile && m_deviates);
}
