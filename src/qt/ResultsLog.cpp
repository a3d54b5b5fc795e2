#include "ResultsLog.h"

#include "MessageBoxSeam.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QSaveFile>

ResultsLog::ResultsLog(QWidget* parent) : ConsoleView(parent) {}

void ResultsLog::AppendBytes(const uint8_t* bytes, int count, bool coloured, uint32_t colour)
{
    if (count <= 0)
        return;
    Append(bytes, static_cast<size_t>(count), coloured, colour);
}

void ResultsLog::AppendMessage(const std::string& text, bool coloured, uint32_t colour)
{
    AppendBytes(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()), coloured, colour);
}

void ResultsLog::Clear()
{
    ClearHistory();
}

QString ResultsLog::toPlainText() const
{
    std::string text = History().Text({0, 0}, History().End());
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

bool ResultsLog::SaveResults(const QString& path)
{
    // A save file replaces the target only once everything is written, so a
    // failure leaves an earlier file as it was.
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    if (written) {
        // Everything shown is ASCII, so the text is UTF-8 as it is.
        written = History().ForEachText({0, 0}, History().End(), [&file](std::string_view piece) {
            return file.write(piece.data(), static_cast<qint64>(piece.size())) == static_cast<qint64>(piece.size());
        });
        written = written && file.commit();
    }
    if (!written) {
        QString reason = file.errorString();
        file.cancelWriting();
        MessageBoxSeam::Show(this, QString("Couldn't save the results to %1:\n%2").arg(QDir::toNativeSeparators(path), reason),
                             MessageBoxSeam::Icon::Exclamation);
    }
    return written;
}

void ResultsLog::AskAndSave()
{
    QString path = QFileDialog::getSaveFileName(this, "Save results", "results.txt", "Text files (*.txt);;All files (*)");
    if (!path.isEmpty())
        SaveResults(path);
}

void ResultsLog::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copy = menu.addAction("&Copy", this, &ResultsLog::CopySelection);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(HasSelection());
    menu.addAction("Select &All", this, &ResultsLog::SelectAll)->setShortcut(QKeySequence::SelectAll);
    menu.addSeparator();
    menu.addAction("Save results...", this, &ResultsLog::AskAndSave);
    // The window's own items given to the box (the download history).
    if (!actions().isEmpty()) {
        menu.addSeparator();
        menu.addActions(actions());
    }
    menu.exec(event->globalPos());
}
