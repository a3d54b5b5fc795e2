#pragma once

class DownloadProgressDialog;
class EthernetPage;
class PathDisplay;
class PortListWatcher;
class QCheckBox;
class QDialog;
class QLabel;
class QPushButton;
class QTabWidget;
class ResultsLog;
class SerialPage;

// The main window's controls and their layout, as a form that a dialog
// inherits (the window's template): the download button, the tabs with their
// pages, the port toggle, the results box and the rest, in the original tab
// order, and the progress dialog the window owns.
class MainDialogForm {
public:
    // Creates the controls as children of `dialog` and lays them out.
    void SetupForm(QDialog* dialog);

    SerialPage* serialPage = nullptr;
    EthernetPage* ethernetPage = nullptr;
    ResultsLog* resultsLog = nullptr;
    QTabWidget* tabs = nullptr;
    QPushButton* downloadButton = nullptr;
    QPushButton* portToggle = nullptr;
    QPushButton* clearButton = nullptr;
    QPushButton* closeButton = nullptr;
    QPushButton* browseButton = nullptr;
    QPushButton* aboutButton = nullptr;
    QCheckBox* autoOpenBox = nullptr;
    PathDisplay* pathDisplay = nullptr;
    QLabel* sizeStatic = nullptr;
    DownloadProgressDialog* progressDialog = nullptr;
};
