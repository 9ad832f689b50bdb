#include "ui/main/PlainLabel.h"

#include <QLabel>

namespace UI {

QLabel *plainLabel(QWidget *parent)
{
    return plainLabel(QString(), parent);
}

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

} // namespace UI
