#include "ui/main/IdleDecisionDialog.h"

#include "ui/main/PlainLabel.h"
#include "ui/theme/ColorVariables.h"
#include "ui/theme/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace UI {

namespace {

constexpr int kIconSize = 15;
constexpr int kButtonHeight = 36;

} // namespace

IdleDecisionDialog::IdleDecisionDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("IdleDecision_Window"));
    setWindowTitle(QStringLiteral("Tembrix Clockwarden"));
    setMinimumWidth(340);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 18);
    layout->setSpacing(6);

    auto *heading = plainLabel(QStringLiteral("You are idle"), this);
    QFont headingFont = heading->font();
    headingFont.setWeight(QFont::Bold);
    headingFont.setPointSizeF(headingFont.pointSizeF() + 2);
    heading->setFont(headingFont);
    layout->addWidget(heading);

    auto *message = plainLabel(
            QStringLiteral("You were idle. Continue tracking or stop the session?"), this);
    message->setProperty("muted", true);
    layout->addWidget(message);
    layout->addSpacing(6);

    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    auto *keep = new QPushButton(QStringLiteral("Continue"), this);
    keep->setObjectName(QStringLiteral("IdleDecision_KeepButton"));
    keep->setProperty("primary", true);
    keep->setIcon(Theme::icon(QStringLiteral("play"), QStringLiteral("#ffffff"), kIconSize));
    Theme::setButtonHeight(keep, kButtonHeight);
    keep->setCursor(Qt::PointingHandCursor);
    connect(keep, &QPushButton::clicked, this, &IdleDecisionDialog::onContinueClicked);
    row->addWidget(keep, 1);

    auto *discard = new QPushButton(QStringLiteral("Stop"), this);
    discard->setObjectName(QStringLiteral("IdleDecision_DiscardButton"));
    discard->setProperty("destructive", true);
    discard->setIcon(Theme::icon(QStringLiteral("stop"), Theme::dangerColor, kIconSize));
    Theme::setButtonHeight(discard, kButtonHeight);
    discard->setCursor(Qt::PointingHandCursor);
    connect(discard, &QPushButton::clicked, this, &IdleDecisionDialog::onStopClicked);
    row->addWidget(discard, 1);
    layout->addLayout(row);
}

void IdleDecisionDialog::onContinueClicked()
{
    m_choice = Choice::Keep;
    accept();
}

void IdleDecisionDialog::onStopClicked()
{
    m_choice = Choice::Discard;
    accept();
}

} // namespace UI
