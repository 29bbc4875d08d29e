#include "params/CChangePreviewDlg.h"

#include "controls/CUiLanguage.h"
#include "controls/MessageBoxes.h"
#include "resources/Texts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CChangePreviewDlg::CChangePreviewDlg(const QStringList& changes, QWidget* parent)
    : CChangePreviewDlg(changes, {}, parent)
{
}

CChangePreviewDlg::CChangePreviewDlg(const QStringList& changes, const std::vector<bool>& ticks, QWidget* parent)
    : CChangePreviewDlg(changes, ticks, Extras{}, parent)
{
}

CChangePreviewDlg::CChangePreviewDlg(const QStringList& changes, const std::vector<bool>& ticks, const Extras& extras,
                                     QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(extras.title.isEmpty() ? Title() : extras.title);
    setSizeGripEnabled(true);

    m_heading = new QLabel(extras.heading.isEmpty() ? Heading(changes) : extras.heading, this);
    m_heading->setObjectName(QStringLiteral("changeHeading"));
    m_heading->setWordWrap(true);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("changeList"));
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->addItems(changes);
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const bool ticked = static_cast<std::size_t>(row) >= ticks.size() || ticks[static_cast<std::size_t>(row)];
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
    // Nothing to list: the heading says so alone.
    m_list->setVisible(!changes.isEmpty());

    // Unticking is the only way to leave a change out; say what it does.
    auto* hint = new QLabel(QStringLiteral("只发送勾选的项；未勾选的项保持终端当前的值，也不校验。"), this);
    hint->setObjectName(QStringLiteral("changeTickHint"));
    hint->setWordWrap(true);
    hint->setVisible(!changes.isEmpty());

    // Listed, but with nothing to tick: they are not sent.
    auto* notesHeading = new QLabel(extras.notesHeading, this);
    notesHeading->setObjectName(QStringLiteral("changeNotesHeading"));
    notesHeading->setWordWrap(true);
    m_notes = new QListWidget(this);
    m_notes->setObjectName(QStringLiteral("changeNotes"));
    m_notes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_notes->setSelectionMode(QAbstractItemView::NoSelection);
    // Long lines wrap rather than scroll, and the list is only as tall as
    // they need: the changes keep the room.
    m_notes->setWordWrap(true);
    m_notes->setResizeMode(QListView::Adjust);
    m_notes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_notes->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    m_notes->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    m_notes->addItems(extras.notes);
    m_notes->setAccessibleName(extras.notesHeading);
    notesHeading->setVisible(!extras.notes.isEmpty());
    m_notes->setVisible(!extras.notes.isEmpty());

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(CUiLanguage::ButtonText(QDialogButtonBox::Ok), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("changeOkButton"));
    m_cancel = buttons->addButton(CUiLanguage::ButtonText(QDialogButtonBox::Cancel), QDialogButtonBox::RejectRole);
    m_cancel->setObjectName(QStringLiteral("changeCancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addWidget(m_list, 1);
    layout->addWidget(hint);
    layout->addWidget(notesHeading);
    layout->addWidget(m_notes);
    if (changes.isEmpty())
        layout->addStretch(1);
    layout->addWidget(buttons);

    // Wide enough for the title bar to show the title in full.
    resize(changes.isEmpty() ? QSize(320, sizeHint().height()).expandedTo(sizeHint())
                             : QSize(520, 360).expandedTo(sizeHint()));
}

QString CChangePreviewDlg::Title()
{
    return Texts::ConfigureFromFile();
}

QString CChangePreviewDlg::Heading(const QStringList& changes)
{
    return changes.isEmpty() ? Texts::FileMatchesDevice() : Texts::ChangePreviewHeading(int(changes.size()));
}

std::optional<bool> CChangePreviewDlg::HandlerAnswer(const QStringList& changes, std::vector<bool>* ticks,
                                                     const Extras& extras)
{
    MessageBoxes::Request request;
    request.kind = MessageBoxes::Kind::Confirm;
    request.caption = extras.title.isEmpty() ? Title() : extras.title;
    request.notes = extras.notes;
    request.text = extras.heading.isEmpty() ? Heading(changes) : extras.heading;
    request.buttons = MessageBoxes::Buttons::OkCancel;
    request.lines = changes;
    MessageBoxes::Reply reply;
    if (!MessageBoxes::AskHandler(request, reply))
        return std::nullopt;
    if (ticks && reply.ticks.size() == ticks->size())
        *ticks = reply.ticks;
    return reply.answer == MessageBoxes::Answer::Ok || reply.answer == MessageBoxes::Answer::Yes;
}

bool CChangePreviewDlg::Confirm(QWidget* parent, const QStringList& changes)
{
    if (const std::optional<bool> answer = HandlerAnswer(changes))
        return *answer;
    CChangePreviewDlg dialog(changes, parent);
    return dialog.exec() == QDialog::Accepted;
}

std::vector<bool> CChangePreviewDlg::Ticks() const
{
    std::vector<bool> ticks;
    for (int row = 0; row < m_list->count(); ++row)
        ticks.push_back(m_list->item(row)->checkState() == Qt::Checked);
    return ticks;
}

bool CChangePreviewDlg::Choose(QWidget* parent, const QStringList& changes, std::vector<bool>& ticks,
                               const Extras& extras)
{
    if (const std::optional<bool> answer = HandlerAnswer(changes, &ticks, extras))
        return *answer;
    CChangePreviewDlg dialog(changes, ticks, extras, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    ticks = dialog.Ticks();
    return true;
}
