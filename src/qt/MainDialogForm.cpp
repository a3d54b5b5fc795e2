#include "MainDialogForm.h"

#include "DownloadProgressDialog.h"
#include "EthernetPage.h"
#include "PathDisplay.h"
#include "ResultsLog.h"
#include "SerialPage.h"

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

void MainDialogForm::SetupForm(QDialog* dialog)
{
    downloadButton = new QPushButton("&Download Application or\n Upgrade Firmware", dialog);
    tabs = new QTabWidget(dialog);
    portToggle = new QPushButton("Serial &port is closed", dialog);
    clearButton = new QPushButton("Clear &results box", dialog);
    closeButton = new QPushButton("&Close Window", dialog);
    autoOpenBox = new QCheckBox("&Open serial port whenever this screen is shown", dialog);
    browseButton = new QPushButton("Bro&wse...", dialog);
    resultsLog = new ResultsLog(dialog);
    aboutButton = new QPushButton("About", dialog);
    pathDisplay = new PathDisplay(dialog);
    sizeStatic = new QLabel("App download size:\nFlash required:", dialog);
    ethernetPage = new EthernetPage(dialog);
    serialPage = new SerialPage(dialog);
    progressDialog = new DownloadProgressDialog(dialog);

    // Enter is handled by keyPressEvent, never by a default button.
    for (QPushButton* button : {downloadButton, portToggle, clearButton, closeButton, browseButton, aboutButton})
        button->setAutoDefault(false);
    portToggle->setCheckable(true);
    portToggle->setMinimumHeight(portToggle->sizeHint().height() * 2);
    downloadButton->setMinimumHeight(downloadButton->sizeHint().height() + 12);
    sizeStatic->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    resultsLog->setMinimumHeight(resultsLog->fontMetrics().lineSpacing() * 8);
    sizeStatic->setMinimumWidth(sizeStatic->fontMetrics().horizontalAdvance("Firmware download size: 2147483647"));
    tabs->addTab(serialPage, "Serial");
    tabs->addTab(ethernetPage, "Ethernet");

    auto* grid = new QGridLayout(dialog);
    grid->addWidget(new QLabel("File to download:", dialog), 0, 0, 1, 2);
    auto* fileRow = new QHBoxLayout();
    fileRow->setSpacing(2);
    fileRow->addWidget(pathDisplay, 1);
    fileRow->addWidget(browseButton);
    grid->addLayout(fileRow, 1, 0, 1, 2);

    grid->addWidget(tabs, 2, 0);
    auto* downloadGroup = new QGroupBox("Download", dialog);
    auto* downloadColumn = new QVBoxLayout(downloadGroup);
    downloadColumn->addWidget(sizeStatic);
    downloadColumn->addWidget(downloadButton);
    downloadColumn->addStretch(1);
    grid->addWidget(downloadGroup, 2, 1, Qt::AlignTop);

    auto* resultsGroup = new QGroupBox("Results", dialog);
    auto* resultsColumn = new QVBoxLayout(resultsGroup);
    resultsColumn->addWidget(resultsLog);
    grid->addWidget(resultsGroup, 3, 0, 1, 2);
    grid->setRowStretch(3, 1);

    auto* buttonRow = new QHBoxLayout();
    buttonRow->addWidget(portToggle, 1);
    buttonRow->addWidget(clearButton, 1);
    buttonRow->addWidget(closeButton, 1);
    grid->addLayout(buttonRow, 4, 0, 1, 2);

    auto* bottomRow = new QHBoxLayout();
    bottomRow->addWidget(autoOpenBox);
    bottomRow->addStretch(1);
    bottomRow->addWidget(aboutButton);
    grid->addLayout(bottomRow, 5, 0, 1, 2);

    // The tab order of the window's original arrangement.
    QWidget* order[] = {downloadButton, tabs, portToggle, clearButton, closeButton,
                        autoOpenBox,    browseButton, resultsLog, aboutButton};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}
