#pragma once

#include "profiles/ProfileCheck.h"
#include "profiles/ProjectProfile.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QPushButton;

// The project profile (项目配置规范) the window checks every read-back
// against, in a row above the parameter table: which profile is in use
// (chosen with 项目规范…), whether the terminal last read conforms to it
// (符合规范 / 不符合规范: N 项 / 未检查), and 按规范修正, which is offered
// while the terminal is idle and its last check found something to put
// right.
class CProfileBar : public QWidget {
    Q_OBJECT
public:
    explicit CProfileBar(QWidget* parent = nullptr);

    // The profile at `path` is the one in use; nothing is used of a refused
    // one, and the one before stays. The reason, with what and where, when
    // it is refused.
    std::optional<QString> LoadProfile(const QString& path);
    std::shared_ptr<const ProjectProfile> Profile() const { return m_profile; }
    QString ProfilePath() const { return m_path; }

    // The state shown: a check's outcome, or 未检查 (nullptr).
    void ShowCheck(const ProfileCheckResult* check);
    // Connected and not busy: 按规范修正 may then be offered.
    void SetIdle(bool idle);

    // "符合规范", "不符合规范: 2 项", "未检查".
    static QString StateText(const ProfileCheckResult* check);

    QPushButton* ChooseButton() const { return m_chooseButton; }
    QPushButton* ConformButton() const { return m_conformButton; }
    QLabel* ProfileLabel() const { return m_profileLabel; }
    QLabel* StateLabel() const { return m_stateLabel; }

signals:
    // The user chose a profile and it was taken (the application keeps its
    // path for the next start).
    void profileChosen(const QString& path);
    // The profile in use is another one.
    void profileChanged();
    void conformRequested();

private:
    void OnChooseClicked();
    void UpdateConformButton();

    std::shared_ptr<const ProjectProfile> m_profile;
    QString m_path;
    bool m_idle = false;
    bool m_deviates = false;
    QPushButton* m_chooseButton = nullptr;
    QLabel* m_profileLabel = nullptr;
    QLabel* m_stateLabel = nullptr;
    QPushButton* m_conformButton = nullptr;
};
