#include "controls/CUiLanguage.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

namespace {

struct ButtonTexts {
    QDialogButtonBox::StandardButton button;
    const char* english;   // Qt's own source text, as its translations know it
    const char* chinese;   // used when no translation has the button
};

// The source texts are those of Qt's platform theme.
constexpr ButtonTexts kButtonTexts[] = {
    {QDialogButtonBox::Ok, "OK", "确定"},
    {QDialogButtonBox::Cancel, "Cancel", "取消"},
    {QDialogButtonBox::Yes, "&Yes", "是"},
    {QDialogButtonBox::No, "&No", "否"},
    {QDialogButtonBox::Open, "Open", "打开"},
    {QDialogButtonBox::Save, "Save", "保存"},
    {QDialogButtonBox::Close, "Close", "关闭"},
};

QString Translated(const char* context, const char* english)
{
    const QString text = QCoreApplication::translate(context, english);
    return text == QLatin1String(english) ? QString() : text;
}

}  // namespace

QStringList CUiLanguage::TranslationFolders()
{
    return {QLibraryInfo::path(QLibraryInfo::TranslationsPath), QStringLiteral("/usr/share/qt6/translations")};
}

QTranslator& CUiLanguage::Translator()
{
    // Lives as long as the program: the application keeps only a pointer.
    static QTranslator translator;
    return translator;
}

bool CUiLanguage::Install(QCoreApplication& app, const QStringList& folders)
{
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    Uninstall(app);
    for (const QString& folder : folders) {
        if (Translator().load(QStringLiteral("qtbase_zh_CN"), folder)) {
            app.installTranslator(&Translator());
            m_loaded = true;
            break;
        }
    }
    return m_loaded;
}

void CUiLanguage::Uninstall(QCoreApplication& app)
{
    if (m_loaded)
        app.removeTranslator(&Translator());
    m_loaded = false;
}

QString CUiLanguage::ButtonText(QDialogButtonBox::StandardButton button)
{
    for (const ButtonTexts& entry : kButtonTexts) {
        if (entry.button != button)
            continue;
        const QString translated = Translated("QPlatformTheme", entry.english);
        return translated.isEmpty() ? QString::fromUtf8(entry.chinese) : translated;
    }
    return {};
}

void CUiLanguage::Apply(QMessageBox& box)
{
    for (QAbstractButton* button : box.buttons()) {
        const auto standard = static_cast<QDialogButtonBox::StandardButton>(box.standardButton(button));
        const QString text = ButtonText(standard);
        if (!text.isEmpty())
            button->setText(text);
    }
}

void CUiLanguage::Apply(QFileDialog& dialog)
{
    // Qt's own dialog: the desktop's native one would ignore these labels.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    const bool saving = dialog.acceptMode() == QFileDialog::AcceptSave;
    const QString title = Translated("QFileDialog", saving ? "Save As" : "Open");
    dialog.setWindowTitle(title.isEmpty() ? (saving ? QStringLiteral("另存为") : QStringLiteral("打开")) : title);
    const auto label = [&](QFileDialog::DialogLabel which, const char* context, const char* english,
                           const char* chinese) {
        const QString translated = Translated(context, english);
        dialog.setLabelText(which, translated.isEmpty() ? QString::fromUtf8(chinese) : translated);
    };
    label(QFileDialog::LookIn, "QFileDialog", "Look in:", "查找范围：");
    label(QFileDialog::FileName, "QFileDialog", "File &name:", "文件名(&N)：");
    label(QFileDialog::FileType, "QFileDialog", "Files of type:", "文件类型：");
    label(QFileDialog::Accept, "QFileDialog", saving ? "&Save" : "&Open", saving ? "保存(&S)" : "打开(&O)");
    dialog.setLabelText(QFileDialog::Reject, ButtonText(QDialogButtonBox::Cancel));
}
