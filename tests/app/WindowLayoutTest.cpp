// The main window's layout at its minimum size and beyond. ctest runs this
// file three times, with QT_SCALE_FACTOR 1, 1.25 and 2.
#include "logpane/CLogPane.h"
#include "app/CSirensetDlg.h"
#include "controls/CTabSheet.h"
#include "controls/MessageBoxes.h"
#include "params/CParameterTable.h"
#include "support/EventLoopWait.h"
#include "support/ShortTiming.h"
#include "support/SimulatorSession.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using testsupport::SimulatorSession;
using testsupport::WaitUntil;

// What a 1366 x 768 screen at 125 % leaves for a window beside a taskbar,
// in logical pixels.
constexpr QSize kSmallLaptopRoom(1080, 560);

enum class Layout { Configuration, Communication };

const char* Name(Layout layout)
{
    return layout == Layout::Configuration ? "configuration" : "communication";
}

QString ScaleTag()
{
    const QByteArray scale = qgetenv("QT_SCALE_FACTOR");
    return scale.isEmpty() ? QStringLiteral("1") : QString::fromLatin1(scale);
}

class WindowLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        MessageBoxes::SetHandler([](const MessageBoxes::Request&) { return MessageBoxes::Reply{}; });
        MainWindowOptions options;
        options.extraPorts = {m_session.DevicePath()};
        options.listSystemPorts = false;
        options.timing = testsupport::ShortTiming();
        m_window = std::make_unique<CSirensetDlg>(options);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override
    {
        m_window.reset();
        MessageBoxes::SetHandler({});
    }

    template <typename T>
    T* Find(const char* name) const
    {
        T* found = m_window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    void Choose(Layout layout)
    {
        auto* radio = Find<QRadioButton>(layout == Layout::Configuration ? "configModeRadio" : "commModeRadio");
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(5, radio->height() / 2));
        ASSERT_TRUE(radio->isChecked());
    }

    void ResizeTo(const QSize& size)
    {
        m_window->resize(size);
        QApplication::processEvents();
        ASSERT_EQ(m_window->size(), size.expandedTo(m_window->minimumSize()));
    }

    // The controls a technician must be able to reach in `layout`; with
    // `saving`, also the progress of a save.
    QList<QWidget*> Controls(Layout layout, bool saving = false) const
    {
        QList<QWidget*> controls;
        for (QPushButton* button : m_window->CommandButtons())
            controls << button;
        for (const char* name : {"restartButton", "openButton", "profileChooseButton", "conformButton", "openFileButton"})
            controls << Find<QPushButton>(name);
        for (const char* name : {"portCombo", "baudCombo", "rtcCombo"})
            controls << Find<QComboBox>(name);
        for (const char* name : {"configModeRadio", "commModeRadio"})
            controls << Find<QRadioButton>(name);
        for (const char* name : {"verifyCheck", "autoReconnectCheck"})
            controls << Find<QCheckBox>(name);
        if (saving)
            controls << Find<QProgressBar>("saveProgress");
        controls << Find<QLabel>("noteLabel") << Find<QToolButton>("aboutButton");
        controls << Find<QLabel>("profileNameLabel") << Find<QLabel>("profileStateLabel");
        controls << Find<QLabel>("clockText");
        auto* tabs = Find<CTabSheet>("tabSheet");
        controls << tabs->tabBar() << tabs->currentWidget();
        controls << m_window->ParameterTable() << m_window->LogPane();
        if (layout == Layout::Configuration)
            controls << Find<QPushButton>("clearButton");
        else
            controls << Find<QGroupBox>("terminalPanel");
        return controls;
    }

    QRect InWindow(const QWidget* widget) const
    {
        return QRect(widget->mapTo(m_window.get(), QPoint(0, 0)), widget->size());
    }

    void ExpectReachable(Layout layout, bool saving = false)
    {
        const QRect inside = m_window->rect();
        const QList<QWidget*> controls = Controls(layout, saving);
        for (QWidget* control : controls) {
            const std::string name = control->objectName().isEmpty() ? control->metaObject()->className()
                                                                      : control->objectName().toStdString();
            EXPECT_TRUE(control->isVisibleTo(m_window.get())) << name;
            EXPECT_TRUE(inside.contains(InWindow(control))) << name << " at " << InWindow(control).x() << ","
                                                            << InWindow(control).y() << " "
                                                            << control->width() << "x" << control->height();
            // Squeezed below its minimum, a control cuts its own text.
            const QSize least = control->minimumSizeHint();
            EXPECT_GE(control->width(), least.width()) << name;
            EXPECT_GE(control->height(), least.height()) << name;
        }
        for (qsizetype a = 0; a < controls.size(); ++a) {
            for (qsizetype b = a + 1; b < controls.size(); ++b) {
                EXPECT_FALSE(InWindow(controls[a]).intersects(InWindow(controls[b])))
                    << controls[a]->objectName().toStdString() << " overlaps "
                    << controls[b]->objectName().toStdString();
            }
        }
    }

    void SaveShot(const QString& name)
    {
        const QByteArray dir = qgetenv("SIRENSET_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        QDir().mkpath(QString::fromLocal8Bit(dir));
        m_window->LogPane()->ShowPendingEntries();
        m_window->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name);
    }

    SimulatorSession m_session;
    std::unique_ptr<CSirensetDlg> m_window;
};

TEST_F(WindowLayoutTest, MinimumSizeFitsASmallLaptopAtAnyScale)
{
    for (const Layout layout : {Layout::Configuration, Layout::Communication}) {
        SCOPED_TRACE(Name(layout));
        Choose(layout);
        QApplication::processEvents();
        const QSize least = m_window->minimumSize();
        EXPECT_LE(least.width(), kSmallLaptopRoom.width());
        EXPECT_LE(least.height(), kSmallLaptopRoom.height());
        EXPECT_GT(least.height(), 300);
        EXPECT_EQ(least, m_window->minimumSizeHint()) << "the layouts decide the minimum";
    }
}

TEST_F(WindowLayoutTest, EveryControlIsInsideAndApartAtTheMinimumSize)
{
    for (const Layout layout : {Layout::Communication, Layout::Configuration}) {
        SCOPED_TRACE(Name(layout));
        Choose(layout);
        ResizeTo(m_window->minimumSize());
        ExpectReachable(layout);
        SaveShot(QStringLiteral("window_minimum_%1_scale%2.png").arg(QLatin1String(Name(layout)), ScaleTag()));
    }
}

TEST_F(WindowLayoutTest, EveryControlIsInsideAndApartAtCommonScreenSizes)
{
    // Logical sizes of a 1024 x 768 screen, a 1366 x 768 one at 125 % and a
    // 3840 x 2160 one at 200 %, less a taskbar.
    for (const QSize size : {QSize(1024, 728), QSize(1093, 582), QSize(1920, 1040)}) {
        for (const Layout layout : {Layout::Configuration, Layout::Communication}) {
            SCOPED_TRACE(Name(layout));
            Choose(layout);
            ResizeTo(size.expandedTo(m_window->minimumSize()));
            ExpectReachable(layout);
            SaveShot(QStringLiteral("window_%1x%2_%3_scale%4.png")
                         .arg(size.width())
                         .arg(size.height())
                         .arg(QLatin1String(Name(layout)), ScaleTag()));
        }
    }
}

TEST_F(WindowLayoutTest, TheTableAndTheLogPaneTakeTheExtraSpace)
{
    ResizeTo(m_window->minimumSize());
    const QSize tableBefore = m_window->ParameterTable()->size();
    const QSize logBefore = m_window->LogPane()->size();
    const QSize buttonBefore = Find<QPushButton>("openButton")->size();
    QWidget* tabs = Find<QWidget>("tabSheet");
    const int tabsBefore = tabs->height();
    ResizeTo(m_window->minimumSize() + QSize(400, 300));
    EXPECT_GT(m_window->ParameterTable()->width(), tableBefore.width() + 200);
    // Below the table, the number pages may need a few pixels more once
    // their tabs' labels show whole (how many depends on the CJK font);
    // the rest of the height is the table's.
    const int tabsGrowth = tabs->height() - tabsBefore;
    EXPECT_LE(tabsGrowth, 12);
    EXPECT_EQ(m_window->ParameterTable()->height(), tableBefore.height() + 300 - tabsGrowth);
    EXPECT_GT(m_window->LogPane()->width(), logBefore.width() + 50);
    EXPECT_EQ(m_window->LogPane()->height(), logBefore.height() + 300);
    EXPECT_EQ(Find<QPushButton>("openButton")->height(), buttonBefore.height());
    // The wider table shares the width out among its columns.
    CParameterTable* table = m_window->ParameterTable();
    int columns = 0;
    for (int column = 0; column < table->columnCount(); ++column)
        columns += table->columnWidth(column);
    EXPECT_EQ(columns, table->viewport()->width());
}

TEST_F(WindowLayoutTest, ButtonGroupsKeepTheirOrderWhenTheWindowGrows)
{
    const auto readingOrder = [this] {
        QList<QWidget*> buttons;
        for (QPushButton* button : m_window->CommandButtons())
            buttons << button;
        std::sort(buttons.begin(), buttons.end(), [this](QWidget* a, QWidget* b) {
            const QRect ra = InWindow(a);
            const QRect rb = InWindow(b);
            return std::pair(ra.top(), ra.left()) < std::pair(rb.top(), rb.left());
        });
        QStringList names;
        for (QWidget* button : buttons)
            names << button->objectName();
        return names;
    };
    ResizeTo(m_window->minimumSize());
    const QStringList small = readingOrder();
    ResizeTo(QSize(1920, 1040));
    EXPECT_EQ(readingOrder(), small);
    // 添加, 删除, 重置 in a row under the number pages, left to right.
    const QRect add = InWindow(Find<QPushButton>("addButton"));
    const QRect remove = InWindow(Find<QPushButton>("deleteButton"));
    const QRect reset = InWindow(Find<QPushButton>("resetButton"));
    EXPECT_EQ(add.top(), remove.top());
    EXPECT_EQ(remove.top(), reset.top());
    EXPECT_LT(add.right(), remove.left());
    EXPECT_LT(remove.right(), reset.left());
    EXPECT_GT(add.top(), InWindow(Find<CTabSheet>("tabSheet")).bottom());
}

TEST_F(WindowLayoutTest, CommunicationLayoutGivesTheLogPaneLessHeight)
{
    ResizeTo(QSize(1024, 728));
    Choose(Layout::Configuration);
    QApplication::processEvents();
    const QRect configuration = InWindow(m_window->LogPane());
    EXPECT_FALSE(Find<QGroupBox>("terminalPanel")->isVisible());
    EXPECT_TRUE(Find<QPushButton>("clearButton")->isVisible());
    // Level with the parameter table, and at least as tall.
    EXPECT_EQ(configuration.top(), InWindow(m_window->ParameterTable()).top());
    EXPECT_GE(configuration.bottom(), InWindow(m_window->ParameterTable()).bottom());
    EXPECT_GT(InWindow(Find<QPushButton>("clearButton")).top(), configuration.bottom());

    Choose(Layout::Communication);
    QApplication::processEvents();
    const QRect communication = InWindow(m_window->LogPane());
    auto* panel = Find<QGroupBox>("terminalPanel");
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(Find<QPushButton>("clearButton")->isVisible());
    EXPECT_EQ(communication.top(), configuration.top());
    EXPECT_LT(communication.height(), configuration.height() - 100);
    EXPECT_GT(InWindow(panel).top(), communication.bottom());
    EXPECT_EQ(InWindow(panel).width(), communication.width());
}

TEST_F(WindowLayoutTest, TheSaveProgressTakesItsPlaceWithoutMovingAnything)
{
    for (const Layout layout : {Layout::Configuration, Layout::Communication}) {
        SCOPED_TRACE(Name(layout));
        Choose(layout);
        ResizeTo(m_window->minimumSize());
        const QSize least = m_window->minimumSize();
        QList<QRect> before;
        for (QWidget* control : Controls(layout))
            before << InWindow(control);

        m_window->View().ShowSaveProgress(1, 12);
        QApplication::processEvents();
        EXPECT_EQ(m_window->minimumSize(), least);
        QList<QRect> during;
        for (QWidget* control : Controls(layout))
            during << InWindow(control);
        EXPECT_EQ(during, before);
        ExpectReachable(layout, true);
        // Under the command buttons, as wide as their grid.
        const QRect progress = InWindow(Find<QProgressBar>("saveProgress"));
        const QRect powerTest = InWindow(Find<QPushButton>("powerTestButton"));
        EXPECT_GT(progress.top(), powerTest.bottom());
        const QRect signalMeter = InWindow(Find<QPushButton>("signalButton"));
        EXPECT_EQ(progress.left(), powerTest.left());
        EXPECT_EQ(progress.right(), signalMeter.right());
        SaveShot(QStringLiteral("window_minimum_saving_%1_scale%2.png").arg(QLatin1String(Name(layout)), ScaleTag()));

        m_window->View().ShowSaveProgress(12, 12);
        QApplication::processEvents();
        EXPECT_FALSE(Find<QProgressBar>("saveProgress")->isVisible());
    }
}

TEST_F(WindowLayoutTest, TheWindowKeepsItsSizeWhenTheClockControlsSwap)
{
    auto* rtc = Find<QComboBox>("rtcCombo");
    ASSERT_EQ(rtc->currentText(), QStringLiteral("系统时间"));
    // As opened, and at the smallest size the window allows.
    for (const bool atMinimum : {false, true}) {
        SCOPED_TRACE(atMinimum ? "at the minimum size" : "as opened");
        if (atMinimum)
            ResizeTo(m_window->minimumSize());
        QApplication::processEvents();
        const QSize before = m_window->size();
        const QSize leastBefore = m_window->minimumSize();
        for (const int choice : {1, 0, 1, 0}) {
            rtc->setCurrentIndex(choice);
            QApplication::processEvents();
            EXPECT_EQ(m_window->size(), before) << rtc->currentText().toStdString();
            EXPECT_EQ(m_window->minimumSize(), leastBefore) << rtc->currentText().toStdString();
            if (choice == 1)
                SaveShot(QStringLiteral("window_manual_clock_%1_scale%2.png")
                             .arg(QLatin1String(atMinimum ? "minimum" : "opened"), ScaleTag()));
        }
        ExpectReachable(Layout::Configuration);
    }
}

}  // namespace
