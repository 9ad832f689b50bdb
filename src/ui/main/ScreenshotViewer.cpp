// The Screenshots tab's viewer: a modal dialog stepping through a segment's full-size images.
#include "ui/main/ScreenshotsView.h"

#include "networking/ReplyGuard.h"
#include "ui/main/PlainLabel.h"
#include "ui/theme/Theme.h"

#include <QDialog>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

namespace UI {

namespace {

struct ViewerState
{
    QList<QString> urls;
    int index = 0;
    QLabel *image = nullptr;
    QLabel *counter = nullptr;
    QPushButton *previous = nullptr;
    QPushButton *next = nullptr;
    QGraphicsOpacityEffect *previousEffect = nullptr;
    QGraphicsOpacityEffect *nextEffect = nullptr;
    QNetworkAccessManager *manager = nullptr;
    // The request of the image on show; a step abandons it, so a slow reply can never replace
    // the image of a later step.
    QPointer<QNetworkReply> reply;
};

void showReply(ViewerState &state, QNetworkReply *reply)
{
    if (!Networking::ReplyGuard::succeeded(reply)) {
        const Networking::ReplyGuard *guard = Networking::ReplyGuard::of(reply);
        const QString refusal = guard ? guard->refusalText() : QString();
        state.image->setText(QStringLiteral("Failed to load image (%1).")
                                     .arg(refusal.isEmpty() ? reply->errorString() : refusal));
        return;
    }
    QPixmap pixmap;
    if (!pixmap.loadFromData(reply->readAll())) {
        state.image->setText(QStringLiteral("Could not decode image."));
        return;
    }
    QSize target = state.image->size();
    if (target.width() <= 0 || target.height() <= 0)
        target = QSize(640, 400);
    state.image->setPixmap(pixmap.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void showCurrent(const std::shared_ptr<ViewerState> &state)
{
    const int count = int(state->urls.size());
    state->counter->setText(count > 1 ? QStringLiteral("%1 / %2").arg(state->index + 1).arg(count)
                                      : QStringLiteral("1 screenshot"));
    const bool hasPrevious = state->index > 0;
    const bool hasNext = state->index < count - 1;
    state->previous->setEnabled(hasPrevious);
    state->previousEffect->setOpacity(hasPrevious ? 1.0 : 0.3);
    state->next->setEnabled(hasNext);
    state->nextEffect->setOpacity(hasNext ? 1.0 : 0.3);
    state->image->setText(QStringLiteral("Loading…"));

    if (state->reply) {
        state->reply->disconnect(state->image);
        state->reply->abort();
    }
    QNetworkReply *reply
            = Networking::ReplyGuard::get(*state->manager, QUrl(state->urls.at(state->index)));
    state->reply = reply;
    if (!reply) {
        state->image->setText(QStringLiteral("Failed to load image (not a web address)."));
        return;
    }
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    // The state is held weakly: the dialog owns it through its button connections.
    const std::weak_ptr<ViewerState> weak = state;
    QObject::connect(reply, &QNetworkReply::finished, state->image, [weak, reply] {
        const std::shared_ptr<ViewerState> alive = weak.lock();
        if (alive && alive->reply == reply)
            showReply(*alive, reply);
    });
}

QPushButton *stepButton(const QString &glyph, const QString &accessibleName,
                        QGraphicsOpacityEffect **effect, QWidget *parent)
{
    auto *button = new QPushButton(parent);
    button->setAccessibleName(accessibleName);
    button->setIcon(Theme::icon(glyph, Theme::textColor, 14));
    *effect = new QGraphicsOpacityEffect(button);
    button->setGraphicsEffect(*effect);
    return button;
}

} // namespace

void ScreenshotsView::openViewer(QWidget *parent, const QString &title, const QList<QString> &urls)
{
    auto *view = qobject_cast<ScreenshotsView *>(parent);
    if (urls.isEmpty() || !view)
        return;

    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ScreenshotViewer_Window"));
    dialog.setWindowTitle(title);
    dialog.setMinimumSize(720, 480);
    auto *layout = new QVBoxLayout(&dialog);

    auto state = std::make_shared<ViewerState>();
    state->urls = urls;
    state->manager = view->m_imageManager;

    auto *titleRow = new QHBoxLayout;
    auto *titleLabel = plainLabel(title, &dialog);
    QFont titleFont = titleLabel->font();
    titleFont.setWeight(QFont::Bold);
    titleLabel->setFont(titleFont);
    titleRow->addWidget(titleLabel);
    titleRow->addStretch();
    layout->addLayout(titleRow);

    state->image = plainLabel(&dialog);
    state->image->setObjectName(QStringLiteral("ScreenshotViewer_Image"));
    state->image->setAlignment(Qt::AlignCenter);
    state->image->setMinimumSize(640, 360);
    state->image->setStyleSheet(QStringLiteral("background-color: rgba(0,0,0,30);"));
    layout->addWidget(state->image, 1);

    auto *steps = new QHBoxLayout;
    state->previous = stepButton(QStringLiteral("chevron-left"), QStringLiteral("Previous image"),
                                 &state->previousEffect, &dialog);
    state->counter = plainLabel(&dialog);
    state->counter->setObjectName(QStringLiteral("ScreenshotViewer_Counter"));
    state->counter->setAlignment(Qt::AlignCenter);
    state->next = stepButton(QStringLiteral("chevron-right"), QStringLiteral("Next image"),
                             &state->nextEffect, &dialog);
    steps->addWidget(state->previous);
    steps->addWidget(state->counter, 1);
    steps->addWidget(state->next);
    layout->addLayout(steps);

    QObject::connect(state->previous, &QPushButton::clicked, &dialog, [state] {
        state->index -= 1;
        showCurrent(state);
    });
    QObject::connect(state->next, &QPushButton::clicked, &dialog, [state] {
        state->index += 1;
        showCurrent(state);
    });

    showCurrent(state);
    dialog.exec();
    if (state->reply) {
        state->reply->disconnect(state->image);
        state->reply->abort();
    }
}

} // namespace UI
