#include "IpAddressEdit.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

IpAddressEdit::IpAddressEdit(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    for (int i = 0; i < 4; ++i) {
        auto* field = new QLineEdit(this);
        field->setValidator(new QIntValidator(0, 255, field));
        field->setMaxLength(3);
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(field->fontMetrics().horizontalAdvance("0000") + 10);
        field->setAccessibleName(QString("Address byte %1").arg(i + 1));
        field->installEventFilter(this);
        fields[i] = field;
        layout->addWidget(field);
        if (i < 3)
            layout->addWidget(new QLabel(".", this));
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            // The validator lets 256..999 through as "intermediate"; an address
            // byte cannot be more than 255.
            if (text.toInt() > 255)
                fields[i]->setText("255");
            if (text.size() == 3 && i < 3) {
                fields[i + 1]->setFocus();
                fields[i + 1]->selectAll();
            }
        });
    }
    layout->addStretch(1);
    setFocusProxy(fields[0]);
}

std::array<uint8_t, 4> IpAddressEdit::Address() const
{
    std::array<uint8_t, 4> bytes{};
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(qBound(0, fields[i]->text().toInt(), 255));
    return bytes;
}

void IpAddressEdit::SetAddress(const std::array<uint8_t, 4>& bytes)
{
    for (int i = 0; i < 4; ++i)
        fields[i]->setText(QString::number(bytes[i]));
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    for (int i = 0; i < 4; ++i) {
        if (watched != fields[i])
            continue;
        if ((key->text() == "." || key->key() == Qt::Key_Period) && i < 3) {
            if (!fields[i]->text().isEmpty()) {
                fields[i + 1]->setFocus();
                fields[i + 1]->selectAll();
            }
            return true;
        }
        if (key->key() == Qt::Key_Backspace && i > 0 && fields[i]->cursorPosition() == 0 &&
            !fields[i]->hasSelectedText()) {
            fields[i - 1]->setFocus();
            fields[i - 1]->end(false);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
