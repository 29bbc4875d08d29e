#pragma once

#include <QDialogButtonBox>
#include <QString>
#include <QStringList>

class QCoreApplication;
class QFileDialog;
class QMessageBox;
class QTranslator;

// The language of Qt's own texts (standard buttons, file dialogs, context
// menus of edit boxes): Simplified Chinese like the rest of the program.
// Install() loads Qt's Chinese translations where the system has them;
// where it has none, the standard buttons and the file dialogs are given
// explicit Chinese texts, so no English word reaches a window.
// UI thread only.
class CUiLanguage {
public:
    // Loads Qt's Chinese translations into the application; false when none
    // was found (the explicit texts are used then). Also makes Chinese the
    // default locale, for calendar and number formats.
    static bool Install(QCoreApplication& app, const QStringList& folders = TranslationFolders());
    // Back to Qt's built-in texts (the explicit Chinese ones apply then).
    static void Uninstall(QCoreApplication& app);
    static bool IsTranslationLoaded() { return m_loaded; }
    // Folders searched for qtbase_zh_CN.qm, first match wins.
    static QStringList TranslationFolders();

    // The text of a standard button: Qt's translation when it has one, else
    // 确定, 取消, 是, 否, ...
    static QString ButtonText(QDialogButtonBox::StandardButton button);
    // Gives every standard button of the box its Chinese text.
    static void Apply(QMessageBox& box);
    // Labels of a (non-native) file dialog: 查找范围, 文件名, 文件类型, the
    // accept and the cancel button.
    static void Apply(QFileDialog& dialog);

private:
    static QTranslator& Translator();

    static inline bool m_loaded = false;
};
