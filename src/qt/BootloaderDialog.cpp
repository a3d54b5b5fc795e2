#include "BootloaderDialog.h"

#include "MessageBoxSeam.h"
#include "SerialPort.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

BootloaderDialog::BootloaderDialog(const QString& portName, QWidget* mainWindow, ReceivedBytes showReceived)
    : QDialog(mainWindow), mainWindow(mainWindow), port(std::make_unique<SerialPort>()),
      induction(std::move(showReceived))
{
    setWindowTitle("Entering Bootloader");
    auto* text = new QLabel("Entering bootloader.\nConnect the unit and cycle power.", this);
    text->setAlignment(Qt::AlignCenter);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &BootloaderDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(cancel, 0, Qt::AlignHCenter);

    // The bootloader always listens at 115200 8N1.
    if (!port->Open("\\\\.\\" + portName.toStdString(), 115200, 0, NoParity, OneStopBit, 8, FlowControl::None))
        port.reset();
}

BootloaderDialog::~BootloaderDialog() = default;

int BootloaderDialog::exec()
{
    if (!port) {
        MessageBoxSeam::Show(mainWindow, "Unable to open serial port!");
        setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    Schedule(Step::Probe, 0);
    return QDialog::exec();
}

void BootloaderDialog::reject()
{
    port.reset(); // closes the device before anything else can reach it
    QDialog::reject();
}

void BootloaderDialog::Schedule(Step step, int delayMs)
{
    QTimer::singleShot(delayMs, this, [this, step] { RunStep(step); });
}

void BootloaderDialog::RunStep(Step step)
{
    if (!port) {
        QDialog::reject();
        return;
    }
    switch (step) {
    case Step::Probe:
        repaint();
        switch (induction.Probe(*port)) {
        case BootloaderInduction::ProbeResult::InBootloader:
            Succeed();
            return;
        case BootloaderInduction::ProbeResult::ResetSent:
            // Probe again, but let the window breathe: an apploader that keeps
            // answering would otherwise freeze it.
            Schedule(Step::Probe, 0);
            return;
        case BootloaderInduction::ProbeResult::NotRecognised:
            Schedule(Step::Induce, 0);
            return;
        }
        return;
    case Step::Induce:
        if (induction.Induce(*port))
            Schedule(Step::Confirm, 0);
        else
            Schedule(Step::Induce, InducePauseMs);
        return;
    case Step::Confirm:
        if (induction.Confirm(*port))
            Succeed();
        else
            Schedule(Step::Confirm, InducePauseMs);
        return;
    }
}

void BootloaderDialog::Succeed()
{
    port.reset();
    accept();
}
