#include "controls/CListCtrlEx.h"
#include "controls/CMsgHook.h"
#include "support/EventLoopWait.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

// Stands in for the grid: collects the end-edit notifications it is sent.
class EndEditRecorder : public QObject {
public:
    struct Received {
        int accept;
        quint64 registration;
    };
    std::vector<Received> received;

    // Delivers what the hook has posted so far.
    std::vector<Received> Take()
    {
        QCoreApplication::sendPostedEvents(this, CMsgHook::kEndEditEvent);
        return std::exchange(received, {});
    }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != CMsgHook::kEndEditEvent)
            return QObject::event(event);
        const auto* endEdit = static_cast<CMsgHook::EndEditEvent*>(event);
        received.push_back({endEdit->Accept(), endEdit->Registration()});
        return true;
    }
};

std::vector<int> Accepts(const std::vector<EndEditRecorder::Received>& received)
{
    std::vector<int> accepts;
    for (const auto& r : received)
        accepts.push_back(r.accept);
    return accepts;
}

void Wheel(QWidget* target)
{
    const QPointF at(5, 5);
    QWheelEvent event(at, target->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

// A dialog with an editor (a container holding two line edits, like a
// combined control), a combo box editor and a control outside both. Enter
// or Escape reaching the dialog would close it.
struct HookDialog {
    QDialog dialog;
    QWidget* editor = new QWidget(&dialog);
    QLineEdit* editorPartA = new QLineEdit(editor);
    QLineEdit* editorPartB = new QLineEdit(editor);
    QComboBox* combo = new QComboBox(&dialog);
    QPushButton* outside = new QPushButton(QStringLiteral("outside"), &dialog);

    HookDialog()
    {
        auto* parts = new QVBoxLayout(editor);
        parts->addWidget(editorPartA);
        parts->addWidget(editorPartB);
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(editor);
        layout->addWidget(combo);
        layout->addWidget(outside);
        combo->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
        outside->setDefault(true);
        dialog.show();
        dialog.activateWindow();
    }
    bool Active() { return QTest::qWaitForWindowActive(&dialog); }
};

}  // namespace

TEST(MsgHookTest, FirstRecordInstallsTheFilterAndTheLastRemovesIt)
{
    ASSERT_EQ(CMsgHook::LiveRecords(), 0) << "a record outlived an earlier test";
    EXPECT_FALSE(CMsgHook::IsInstalled());
    {
        CMsgHook first;
        EXPECT_TRUE(CMsgHook::IsInstalled());
        EXPECT_EQ(CMsgHook::LiveRecords(), 1);
        {
            auto grid = std::make_unique<CListCtrlEx>();  // every grid holds a record
            CMsgHook second;
            EXPECT_EQ(CMsgHook::LiveRecords(), 3);
        }
        EXPECT_EQ(CMsgHook::LiveRecords(), 1);
        EXPECT_TRUE(CMsgHook::IsInstalled());
    }
    EXPECT_EQ(CMsgHook::LiveRecords(), 0);
    EXPECT_FALSE(CMsgHook::IsInstalled());

    CMsgHook again;
    EXPECT_TRUE(CMsgHook::IsInstalled()) << "a later first record installs it anew";
}

TEST(MsgHookTest, RegistryHoldsOneRecordPerEditor)
{
    QLineEdit editorA;
    QLineEdit editorB;
    EndEditRecorder grid;
    CMsgHook record;
    CMsgHook otherRecord;

    EXPECT_FALSE(record.Register(nullptr, &grid));
    EXPECT_FALSE(record.IsRegistered());

    ASSERT_TRUE(record.Register(&editorA, &grid));
    EXPECT_EQ(CMsgHook::RecordOf(&editorA), &record);
    EXPECT_EQ(record.Editor(), &editorA);
    EXPECT_EQ(record.NotifyTarget(), &grid);
    EXPECT_EQ(CMsgHook::RegisteredEditors(), 1);

    // Registering another editor drops the first.
    ASSERT_TRUE(record.Register(&editorB, &grid));
    EXPECT_EQ(CMsgHook::RecordOf(&editorA), nullptr);
    EXPECT_EQ(CMsgHook::RecordOf(&editorB), &record);
    EXPECT_EQ(CMsgHook::RegisteredEditors(), 1);

    // Another record taking the same editor takes it over.
    ASSERT_TRUE(otherRecord.Register(&editorB, &grid));
    EXPECT_EQ(CMsgHook::RecordOf(&editorB), &otherRecord);
    EXPECT_FALSE(record.IsRegistered());
    EXPECT_EQ(CMsgHook::RegisteredEditors(), 1);

    EXPECT_TRUE(otherRecord.Unregister());
    EXPECT_FALSE(otherRecord.Unregister());
    EXPECT_EQ(CMsgHook::RegisteredEditors(), 0);
}

TEST(MsgHookTest, DestroyingARegisteredEditorUnregistersIt)
{
    EndEditRecorder grid;
    CMsgHook record;
    auto* editor = new QLineEdit;
    ASSERT_TRUE(record.Register(editor, &grid));
    const QWidget* address = editor;
    delete editor;
    EXPECT_FALSE(record.IsRegistered());
    EXPECT_EQ(record.Editor(), nullptr);
    EXPECT_EQ(CMsgHook::RecordOf(address), nullptr);
    EXPECT_EQ(CMsgHook::RegisteredEditors(), 0);
    EXPECT_FALSE(record.Unregister());
}

TEST(MsgHookTest, DestroyingTheRecordUnregistersItsEditor)
{
    QLineEdit editor;
    EndEditRecorder grid;
    {
        CMsgHook record;
        record.Register(&editor, &grid);
    }
    EXPECT_EQ(CMsgHook::RecordOf(&editor), nullptr);
    EXPECT_EQ(CMsgHook::RegisteredEditors(), 0);
}

TEST(MsgHookTest, EnterAcceptsEscapeCancelsAndNeitherReachesTheWindow)
{
    struct Case {
        Qt::Key key;
        int accept;
    };
    const Case cases[] = {{Qt::Key_Return, 1}, {Qt::Key_Enter, 1}, {Qt::Key_Escape, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        HookDialog window;
        ASSERT_TRUE(window.Active());
        EndEditRecorder grid;
        CMsgHook record;
        record.Register(window.editor, &grid);
        window.editorPartB->setFocus();

        QTest::keyClick(window.editorPartB, c.key);
        const auto received = grid.Take();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].accept, c.accept);
        EXPECT_TRUE(record.IsCurrent(CMsgHook::EndEditEvent(c.accept, received[0].registration)));
        EXPECT_TRUE(window.dialog.isVisible()) << "the key went on to the dialog";

        // Other keys are the editor's own.
        QTest::keyClick(window.editorPartB, Qt::Key_A);
        EXPECT_TRUE(grid.Take().empty());
        EXPECT_EQ(window.editorPartB->text(), QStringLiteral("a"));
    }
}

TEST(MsgHookTest, NotificationsCarryTheRegistrationTheyWerePostedFor)
{
    QLineEdit editor;
    EndEditRecorder grid;
    CMsgHook record;
    record.Register(&editor, &grid);
    QTest::keyClick(&editor, Qt::Key_Return);
    const auto first = grid.Take();
    ASSERT_EQ(first.size(), 1u);
    const CMsgHook::EndEditEvent old(1, first[0].registration);
    EXPECT_TRUE(record.IsCurrent(old));

    record.Register(&editor, &grid);  // a new edit
    EXPECT_FALSE(record.IsCurrent(old)) << "a late notification must not end the next edit";
    record.Unregister();
    EXPECT_FALSE(record.IsCurrent(old));
}

TEST(MsgHookTest, FocusMovingInsideTheEditorKeepsTheEditAndLeavingItAccepts)
{
    HookDialog window;
    ASSERT_TRUE(window.Active());
    EndEditRecorder grid;
    CMsgHook record;
    window.editorPartA->setFocus();
    record.Register(window.editor, &grid);

    window.editorPartB->setFocus();
    window.editorPartA->setFocus();
    EXPECT_TRUE(grid.Take().empty());

    window.outside->setFocus();
    EXPECT_EQ(Accepts(grid.Take()), std::vector<int>{1});
}

TEST(MsgHookTest, PressesOutsideTheEditorAccept)
{
    struct Case {
        const char* what;
        std::function<void(HookDialog&)> act;
        std::vector<int> expected;
    };
    const auto wheel = [](QWidget* target) { Wheel(target); };
    const Case cases[] = {
        {"left click inside", [](HookDialog& w) { QTest::mouseClick(w.editorPartA, Qt::LeftButton); }, {}},
        {"right click inside", [](HookDialog& w) { QTest::mouseClick(w.editorPartB, Qt::RightButton); }, {}},
        {"wheel inside", [&](HookDialog& w) { wheel(w.editorPartA); }, {}},
        {"left click outside", [](HookDialog& w) { QTest::mousePress(w.outside, Qt::LeftButton); }, {1}},
        {"right click outside", [](HookDialog& w) { QTest::mousePress(w.outside, Qt::RightButton); }, {1}},
        {"middle click outside", [](HookDialog& w) { QTest::mousePress(w.outside, Qt::MiddleButton); }, {1}},
        {"wheel outside", [&](HookDialog& w) { wheel(w.outside); }, {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HookDialog window;
        ASSERT_TRUE(window.Active());
        EndEditRecorder grid;
        CMsgHook record;
        record.Register(window.editor, &grid);
        c.act(window);
        // A press the target ignores travels on to its parents, which may
        // post again; the grid acts on the first and drops the rest.
        const std::vector<int> accepts = Accepts(grid.Take());
        if (c.expected.empty()) {
            EXPECT_TRUE(accepts.empty());
        } else {
            ASSERT_FALSE(accepts.empty());
            for (int accept : accepts)
                EXPECT_EQ(accept, c.expected.front());
        }
        QTest::mouseRelease(window.outside, Qt::LeftButton);
    }
}

TEST(MsgHookTest, AnOpenDropDownListKeepsTheEditUntilItCloses)
{
    HookDialog window;
    ASSERT_TRUE(window.Active());
    EndEditRecorder grid;
    CMsgHook record;
    window.combo->setFocus();
    record.Register(window.combo, &grid);

    window.combo->showPopup();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return window.combo->view()->isVisible(); }));
    EXPECT_TRUE(record.IsDropDownOpen());
    Wheel(window.outside);
    EXPECT_TRUE(grid.Take().empty()) << "the list is open";

    // Keys in the list choose an entry; they do not end the edit.
    QTest::keyClick(window.combo->view(), Qt::Key_Down);
    QTest::keyClick(window.combo->view(), Qt::Key_Return);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !window.combo->view()->isVisible(); }));
    EXPECT_FALSE(record.IsDropDownOpen());
    EXPECT_TRUE(grid.Take().empty());

    QTest::mousePress(window.outside, Qt::LeftButton);  // a press and a focus change
    const std::vector<int> accepts = Accepts(grid.Take());
    ASSERT_FALSE(accepts.empty());
    EXPECT_EQ(std::count(accepts.begin(), accepts.end(), 1), static_cast<long>(accepts.size()));
    QTest::mouseRelease(window.outside, Qt::LeftButton);
}

TEST(MsgHookTest, WithTheDropDownFlagSetFocusLossDoesNotEndTheEdit)
{
    HookDialog window;
    ASSERT_TRUE(window.Active());
    EndEditRecorder grid;
    CMsgHook record;
    window.combo->setFocus();
    record.Register(window.combo, &grid);
    window.combo->showPopup();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return record.IsDropDownOpen(); }));
    window.outside->setFocus();
    EXPECT_TRUE(grid.Take().empty());
    window.combo->hidePopup();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !record.IsDropDownOpen(); }));
}
