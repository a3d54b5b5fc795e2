#include "AboutDialog.h"

#include "AppIcon.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

const char* AboutDialog::SupportAddress = "support@vennix.example";

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("About Lumetra Downloader");
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon::Get().pixmap(32, 32));
    auto* version = new QLabel("Lumetra downloader  Version 1.2", this);
    auto* support = new QLabel(QString("Questions and Comments  ") + SupportAddress, this);
    support->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(version, 0, 1);
    grid->addWidget(support, 1, 1);
    grid->addWidget(ok, 0, 2, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    grid->setHorizontalSpacing(16);
}
