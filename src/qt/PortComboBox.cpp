#include "PortComboBox.h"

#include <QAbstractItemView>
#include <QScrollBar>

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
    // Entries with an adapter's description are long; the closed list keeps the
    // page's width and shows the start (the COM name), the open one shows all.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(16);
}

void PortComboBox::showPopup()
{
    emit Opening();
    view()->setMinimumWidth(view()->sizeHintForColumn(0) + view()->verticalScrollBar()->sizeHint().width());
    QComboBox::showPopup();
}
