#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QWidget;

// Every message box and file dialog of the program goes through this one
// place, so that tests (and the headless batch mode) can see and answer them.
// UI thread only.
class MessageBoxes {
public:
    // OkCancel: only for Confirm requests (确定 / 取消).
    enum class Buttons { Ok, YesNo, OkCancel };
    enum class Icon { None, Information, Warning, Critical, Question };
    enum class Answer { Ok, Yes, No, Cancel };
    // Confirm: a list for the user to accept or refuse (the preview of a
    // configuration file); answered Ok (确定) or Cancel (取消).
    enum class Kind { Message, SaveFile, OpenFile, Confirm };

    struct Request {
        Kind kind = Kind::Message;
        QString caption;
        QString text;               // message text, or proposed file name
        QString filter;             // file dialogs
        Buttons buttons = Buttons::Ok;
        Icon icon = Icon::None;
        QStringList lines;          // Confirm: the listed lines
        QStringList notes;          // Confirm: lines shown below them that cannot be ticked
    };
    struct Reply {
        Answer answer = Answer::Ok;
        QString path;               // file dialogs: chosen path (empty = cancelled)
        std::vector<bool> ticks;    // Confirm with check boxes: the lines left ticked (empty: as shown)
    };
    using Handler = std::function<Reply(const Request&)>;

    // Modal message box. An empty caption gives the default caption.
    static Answer Show(QWidget* parent, const QString& text, const QString& caption = {},
                       Buttons buttons = Buttons::Ok, Icon icon = Icon::None);
    // File dialogs; an empty result means the user cancelled.
    static QString GetSaveFileName(QWidget* parent, const QString& proposedName,
                                   const QString& filter, const QString& defaultSuffix);
    static QString GetOpenFileName(QWidget* parent, const QString& proposedName,
                                   const QString& filter);

    // The caption of boxes that name none: the main window's title, as
    // the program sets it (the application's name until then).
    static void SetDefaultCaption(const QString& caption);
    static QString DefaultCaption();

    // For the program's own dialogs beyond these (they go through the same
    // handler): true, with the handler's reply, when a handler is installed
    // and answered; false when the real dialog is to be shown.
    static bool AskHandler(const Request& request, Reply& reply);

    // Replaces the real dialogs (tests, batch mode). Pass {} to restore them.
    static void SetHandler(Handler handler);
    // Every request made since the last call, oldest first (kept only while
    // a handler is installed).
    static QList<Request> TakeRequests();
};
