#include "app/CAboutDlg.h"

#include "resources/Texts.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(Texts::AboutTitle());
    auto* group = new QGroupBox(Texts::AboutGroup(), this);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(new QLabel(Texts::AboutProduct(), group));
    groupLayout->addWidget(new QLabel(Texts::AboutDate(), group));

    auto* ok = new QPushButton(Texts::Ok(), this);
    ok->setObjectName(QStringLiteral("aboutOkButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(ok, 0, Qt::AlignRight);
    setFixedSize(sizeHint());
}
