#include "ui/main/PopoverWindow.h"

#include "core/AppStateManager.h"
#include "ui/main/ForceUpdateView.h"
#include "ui/main/PlainLabel.h"
#include "ui/main/ScreenshotsView.h"
#include "ui/main/SettingsView.h"
#include "ui/main/ShellDesktop.h"
#include "ui/main/StatusHeader.h"
#include "ui/main/SummaryView.h"
#include "ui/main/TrackerView.h"
#include "ui/signin/LoginView.h"
#include "ui/theme/ColorVariables.h"
#include "ui/theme/Contrast.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/IconTabBar.h"
#include "ui/widgets/IconTabWidget.h"
#include "ui/widgets/LazyPage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace UI {

namespace {

constexpr int kCloseIconSize = 14;

} // namespace

PopoverWindow::PopoverWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Tembrix Clockwarden"));
    setWindowIcon(Theme::appIcon());
    resize(460, 640);
    setMinimumSize(420, 460);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_stack);

    m_signInPage = new QWidget(m_stack);
    new QVBoxLayout(m_signInPage);
    m_mainPage = new QWidget(m_stack);

    m_forceUpdatePage
            = new LazyPage([](QWidget *parent) { return new ForceUpdateView(parent); }, m_stack);
    m_stack->addWidget(m_signInPage);
    m_stack->addWidget(m_mainPage);
    m_stack->addWidget(m_forceUpdatePage);
    updateCurrentPage();

    auto &state = Core::AppStateManager::instance();
    connect(&state, &Core::AppStateManager::isAuthenticatedChanged, this,
            &PopoverWindow::updateCurrentPage);
    // Queued: a forced update raised inside another slot switches the page once that slot is done.
    connect(&state, &Core::AppStateManager::forceClientUpdateChanged, this,
            &PopoverWindow::updateCurrentPage, Qt::QueuedConnection);
    connect(&state, &Core::AppStateManager::pendingMainTabChanged, this,
            &PopoverWindow::onPendingMainTabChanged);
    onPendingMainTabChanged();
    installEventFilter(this);
}

LoginView *PopoverWindow::loginView()
{
    if (!m_loginView) {
        m_loginView = new LoginView(m_signInPage);
        m_signInPage->layout()->addWidget(m_loginView);
    }
    return m_loginView;
}

ForceUpdateView *PopoverWindow::forceUpdateView()
{
    return static_cast<ForceUpdateView *>(m_forceUpdatePage->content());
}

IconTabWidget *PopoverWindow::mainTabs()
{
    if (!m_mainTabs)
        buildMainPage();
    return m_mainTabs;
}

QWidget *PopoverWindow::mainTab(int index)
{
    QWidget *page = mainTabs()->widget(index);
    if (auto *lazy = qobject_cast<LazyPage *>(page))
        return lazy->content();
    return page;
}

void PopoverWindow::buildMainPage()
{
    // Built after the window's first paint (a sign-in since): its unseen tabs follow its own.
    m_painted = false;
    QWidget *page = m_mainPage;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new StatusHeader(page));

    auto *rule = new QFrame(page);
    rule->setFixedHeight(1);
    rule->setProperty("hline", true);
    layout->addWidget(rule);

    m_mainTabs = new IconTabWidget(page);
    m_mainTabs->setObjectName(QStringLiteral("MainTabs"));
    QWidget *pages = m_mainTabs->pageParent();
    // The first tab shows when the main page does; the others are built on first show, or once
    // the window has painted.
    m_mainTabs->addTab(new TrackerView(pages), QStringLiteral("Tracker"));
    m_mainTabs->addTab(new LazyPage([](QWidget *parent) { return new SummaryView(parent); }, pages),
                       QStringLiteral("Summary"));
    m_mainTabs->addTab(
            new LazyPage([](QWidget *parent) { return new ScreenshotsView(parent); }, pages),
            QStringLiteral("Screenshots"));
    m_mainTabs->addTab(
            new LazyPage([](QWidget *parent) { return new SettingsView(parent); }, pages),
            QStringLiteral("Settings"));
    const QStringList icons{ QStringLiteral(":/icons/tabs/tab-tracker.svg"),
                             QStringLiteral(":/icons/tabs/tab-summary.svg"),
                             QStringLiteral(":/icons/tabs/tab-screenshots.svg"),
                             QStringLiteral(":/icons/tabs/tab-settings.svg") };
    for (int index = 0; index < icons.size(); ++index)
        m_mainTabs->iconTabBar()->setTabIconPath(index, icons.at(index));
    layout->addWidget(m_mainTabs, 1);
}

void PopoverWindow::updateCurrentPage()
{
    const auto &state = Core::AppStateManager::instance();
    if (!state.isAuthenticated()) {
        // A view built now is fresh: only one that was left needs its reset.
        if (m_loginView && m_stack->currentWidget() != m_signInPage)
            m_loginView->reset();
        loginView();
        m_stack->setCurrentWidget(m_signInPage);
    } else if (state.forceClientUpdate()) {
        forceUpdateView()->refresh();
        m_stack->setCurrentWidget(m_forceUpdatePage);
    } else {
        mainTabs();
        m_stack->setCurrentWidget(m_mainPage);
    }
}

bool PopoverWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Once the first frame is painted, the tabs it did not show are built, so that a tab opened
    // later shows its content at once.
    if (watched == this && event->type() == QEvent::Paint && !m_painted) {
        m_painted = true;
        QTimer::singleShot(0, this, &PopoverWindow::buildHiddenPages);
    }
    return QWidget::eventFilter(watched, event);
}

void PopoverWindow::buildHiddenPages()
{
    if (!m_mainTabs)
        return;
    for (int index = 0; index < m_mainTabs->count(); ++index) {
        if (auto *lazy = qobject_cast<LazyPage *>(m_mainTabs->widget(index)))
            lazy->content();
    }
}

void PopoverWindow::showAndActivate()
{
    showNormal();
    raise();
    activateWindow();
}

void PopoverWindow::onPendingMainTabChanged()
{
    auto &state = Core::AppStateManager::instance();
    const std::optional<int> tab = state.pendingMainTab();
    if (!tab)
        return;
    mainTabs()->setCurrentIndex(*tab);
    state.setPendingMainTab(std::nullopt);
}

void PopoverWindow::closeEvent(QCloseEvent *event)
{
    if (!event->spontaneous() || isMinimized() || !isActiveWindow()) {
        event->ignore();
        if (!isMinimized())
            hide();
        return;
    }
    switch (askCloseChoice()) {
    case CloseChoice::Cancel:
        event->ignore();
        break;
    case CloseChoice::Minimize:
        event->ignore();
        showMinimized();
        break;
    case CloseChoice::MinimizeToTray:
        event->ignore();
        hide();
        break;
    case CloseChoice::Quit:
        event->accept();
        QCoreApplication::quit();
        break;
    }
}

PopoverWindow::CloseChoice PopoverWindow::askCloseChoice()
{
    const bool tray = ShellDesktop::systemTrayAvailable();
    CloseChoice choice = CloseChoice::Cancel;

    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("CloseQuestion_Dialog"));
    dialog.setWindowTitle(QStringLiteral("Tembrix Clockwarden"));
    auto *layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(6);

    auto *question
            = plainLabel(QStringLiteral("Do you want to quit Tembrix Clockwarden?"), &dialog);
    QFont questionFont = question->font();
    questionFont.setWeight(QFont::DemiBold);
    question->setFont(questionFont);
    layout->addWidget(question);

    auto *explanation = plainLabel(
            tray ? QStringLiteral("Tracking keeps running whether you minimize the window or hide "
                                  "it to the system tray.")
                 : QStringLiteral("Tracking keeps running in the background while minimized."),
            &dialog);
    explanation->setObjectName(QStringLiteral("CloseQuestion_Explanation"));
    explanation->setWordWrap(true);
    explanation->setProperty("muted", true);
    layout->addWidget(explanation);
    layout->addSpacing(10);

    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
    cancel->setObjectName(QStringLiteral("CloseQuestion_CancelButton"));
    cancel->setCursor(Qt::PointingHandCursor);
    connect(cancel, &QPushButton::clicked, &dialog, [&] {
        choice = CloseChoice::Cancel;
        dialog.reject();
    });
    row->addWidget(cancel);
    row->addStretch();

    const auto addChoice = [&](const QString &text, const QString &name, const QString &symbol,
                               const QString &colour, bool filled, CloseChoice value) {
        auto *button = new QPushButton(text, &dialog);
        button->setObjectName(name);
        styleCloseDialogButton(button, symbol, colour, filled);
        connect(button, &QPushButton::clicked, &dialog, [&choice, &dialog, value] {
            choice = value;
            dialog.accept();
        });
        row->addWidget(button);
        return button;
    };
    QPushButton *minimize = addChoice(
            QStringLiteral("Minimize"), QStringLiteral("CloseQuestion_MinimizeButton"),
            QStringLiteral("minimize"), Theme::brandColor, false, CloseChoice::Minimize);
    minimize->setDefault(true);
    if (tray)
        addChoice(QStringLiteral("Minimize to Tray"), QStringLiteral("CloseQuestion_TrayButton"),
                  QStringLiteral("tray-down"), Theme::greenColor, false,
                  CloseChoice::MinimizeToTray);
    addChoice(QStringLiteral("Quit"), QStringLiteral("CloseQuestion_QuitButton"),
              QStringLiteral("power"), Theme::dangerColor, true, CloseChoice::Quit);
    layout->addLayout(row);

    dialog.exec();
    return choice;
}

void PopoverWindow::styleCloseDialogButton(QPushButton *button, const QString &symbol,
                                           const QString &colour, bool filled)
{
    // The palette's colour stays on the border or fill; text and fill move only as far as reading
    // needs (light brands on the white button, white text on a light fill).
    const QColor white(Qt::white);
    const QString text
            = filled ? white.name() : Theme::readableOn(QColor(colour), { white }).name();
    button->setIcon(Theme::icon(symbol, text, kCloseIconSize));
    button->setCursor(Qt::PointingHandCursor);
    if (filled) {
        button->setStyleSheet(QStringLiteral("QPushButton { background:%1; color:%2; border:none; "
                                             "border-radius:7px; padding:7px 16px; }"
                                             "QPushButton:hover { background:%1; }")
                                      .arg(Theme::fillUnder(QColor(colour), white).name(), text));
    } else {
        button->setStyleSheet(
                QStringLiteral("QPushButton { background:%2; color:%1; border:1px solid %3; "
                               "border-radius:7px; padding:7px 16px; }"
                               "QPushButton:hover { background:%4; }")
                        .arg(text, white.name(), colour, QStringLiteral("#f4f7ff")));
    }
}

} // namespace UI
