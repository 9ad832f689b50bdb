#include "ui/signin/SignInStyle.h"

#include "ui/theme/Theme.h"

#include <QLabel>
#include <QObject>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace UI {

void followPalette(QObject *context, const std::function<void()> &apply)
{
    apply();
    QObject::connect(Theme::Notifier::instance(), &Theme::Notifier::paletteChanged, context, apply);
}

QString signInFieldStyleSheet(const QString &extraDeclarations)
{
    const Theme::Palette &palette = Theme::currentPalette();
    return u"QLineEdit { background: %1; border: 1px solid %2; border-radius: 10px; "
           u"padding: 0 12px; color: %3;%5 }QLineEdit:focus { border: 1px solid %4; }"_s.arg(
                   palette.surface, palette.brand400, Theme::textColor, Theme::brandColor,
                   extraDeclarations.isEmpty() ? QString() : u" "_s + extraDeclarations);
}

QString colourStyleSheet(const QString &colour)
{
    return u"color: %1;"_s.arg(colour);
}

QLabel *makeErrorLabel(const QString &objectName, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    followPalette(label, [label] { label->setStyleSheet(colourStyleSheet(Theme::dangerColor)); });
    label->hide();
    return label;
}

void reserveOneLine(QLabel *label)
{
    label->ensurePolished();
    const QString shown = label->text();
    label->setText(u"M"_s);
    const int height = label->sizeHint().height();
    label->setText(shown);
    label->setMinimumHeight(height);
    QSizePolicy policy = label->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    label->setSizePolicy(policy);
}

void setWrappingText(QLabel *label, const QString &text)
{
    // Runs up to this long wrap as words; longer ones may break after every this many characters.
    constexpr int kPiece = 16;
    QString wrapped;
    wrapped.reserve(text.size() + text.size() / kPiece);
    int run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > kPiece && run % kPiece == 1)
            wrapped.append(QChar(0x200B));
        wrapped.append(c);
    }
    label->setText(wrapped);
}

QLabel *makeSubtitleLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    followPalette(label, [label] { label->setStyleSheet(colourStyleSheet(Theme::text2Color)); });
    return label;
}

QPushButton *makePrimaryButton(const QString &text, const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setProperty("primary", true);
    Theme::setButtonHeight(button, 44);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QPushButton *makeFlatButton(const QString &text, const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setProperty("flat", true);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace UI
