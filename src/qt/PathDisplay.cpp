#include "PathDisplay.h"

#include <QFontMetrics>

PathDisplay::PathDisplay(QWidget* parent) : QLabel(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setWordWrap(false);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setMinimumWidth(120);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void PathDisplay::SetPath(const QString& path)
{
    fullPath = path;
    setToolTip(path);
    Elide();
}

void PathDisplay::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    Elide();
}

void PathDisplay::Elide()
{
    int room = contentsRect().width() - 2 * margin() - 4;
    setText(fontMetrics().elidedText(fullPath, Qt::ElideMiddle, qMax(room, 10)));
}
