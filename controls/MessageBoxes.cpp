#include "controls/MessageBoxes.h"

#include "controls/CUiLanguage.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <mutex>

namespace {

struct State {
    std::mutex lock;
    QString defaultCaption;
    MessageBoxes::Handler handler;
    QList<MessageBoxes::Request> requests;
};

State& TheState()
{
    static State state;
    return state;
}

QMessageBox::Icon ToQtIcon(MessageBoxes::Icon icon)
{
    switch (icon) {
    case MessageBoxes::Icon::Information: return QMessageBox::Information;
    case MessageBoxes::Icon::Warning: return QMessageBox::Warning;
    case MessageBoxes::Icon::Critical: return QMessageBox::Critical;
    case MessageBoxes::Icon::Question: return QMessageBox::Question;
    case MessageBoxes::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

bool MessageBoxes::AskHandler(const Request& request, Reply& reply)
{
    State& state = TheState();
    Handler handler;
    {
        std::lock_guard guard(state.lock);
        if (!state.handler)
            return false;
        handler = state.handler;
        state.requests.append(request);
    }
    reply = handler(request);
    return true;
}

MessageBoxes::Answer MessageBoxes::Show(QWidget* parent, const QString& text, const QString& caption,
                                        Buttons buttons, Icon icon)
{
    const QString title = caption.isEmpty() ? DefaultCaption() : caption;
    Reply reply;
    if (AskHandler({Kind::Message, title, text, {}, buttons, icon, {}, {}}, reply))
        return reply.answer;

    QMessageBox box(ToQtIcon(icon), title, text,
                    buttons == Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    parent);
    CUiLanguage::Apply(box);
    const int result = box.exec();
    if (buttons == Buttons::YesNo)
        return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
    return Answer::Ok;
}

QString MessageBoxes::GetSaveFileName(QWidget* parent, const QString& proposedName,
                                      const QString& filter, const QString& defaultSuffix)
{
    Reply reply;
    if (AskHandler({Kind::SaveFile, {}, proposedName, filter, Buttons::Ok, Icon::None, {}, {}}, reply))
        return reply.path;

    QFileDialog dialog(parent, QString(), proposedName, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    // The user already chose the name in this dialog: overwriting is expected.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.selectFile(proposedName);
    CUiLanguage::Apply(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString MessageBoxes::GetOpenFileName(QWidget* parent, const QString& proposedName, const QString& filter)
{
    Reply reply;
    if (AskHandler({Kind::OpenFile, {}, proposedName, filter, Buttons::Ok, Icon::None, {}, {}}, reply))
        return reply.path;

    QFileDialog dialog(parent, QString(), QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, true);
    CUiLanguage::Apply(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void MessageBoxes::SetDefaultCaption(const QString& caption)
{
    State& state = TheState();
    std::lock_guard guard(state.lock);
    state.defaultCaption = caption;
}

QString MessageBoxes::DefaultCaption()
{
    State& state = TheState();
    std::lock_guard guard(state.lock);
    return state.defaultCaption.isEmpty() ? QApplication::applicationName() : state.defaultCaption;
}

void MessageBoxes::SetHandler(Handler handler)
{
    State& state = TheState();
    std::lock_guard guard(state.lock);
    state.handler = std::move(handler);
    state.requests.clear();
}

QList<MessageBoxes::Request> MessageBoxes::TakeRequests()
{
    State& state = TheState();
    std::lock_guard guard(state.lock);
    QList<Request> taken;
    taken.swap(state.requests);
    return taken;
}
