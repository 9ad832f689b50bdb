#pragma once

#include <QWidget>

class QCloseEvent;
class QPushButton;
class QStackedWidget;

namespace UI {

class ForceUpdateView;
class IconTabWidget;
class LazyPage;
class LoginView;

// The program's one main window: the sign-in page, the main page with its four tabs, or the
// force-update page, whichever fits the application state. A close never quits by itself: it
// hides the window, and only a close by the user asks what to do. Only the page the window opens
// with is built before its first paint; the main page's other tabs follow right after it, and
// the sign-in view, the main page or the force-update page when first needed.
class PopoverWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PopoverWindow)

public:
    enum class CloseChoice : int { Cancel = 0, Minimize = 1, MinimizeToTray = 2, Quit = 3 };

    explicit PopoverWindow(QWidget *parent = nullptr);

    void updateCurrentPage();
    // Shown normal (also when minimised), raised and activated.
    void showAndActivate();

    QStackedWidget *stack() const { return m_stack; }
    // The sign-in view, the tabs and a tab's view are built when first shown or asked for here.
    IconTabWidget *mainTabs();
    LoginView *loginView();
    QWidget *mainTab(int index);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMainPage();
    ForceUpdateView *forceUpdateView();
    void buildHiddenPages();
    void onPendingMainTabChanged();
    CloseChoice askCloseChoice();
    static void styleCloseDialogButton(QPushButton *button, const QString &symbol,
                                       const QString &colour, bool filled);

    QStackedWidget *m_stack = nullptr;
    IconTabWidget *m_mainTabs = nullptr;
    QWidget *m_signInPage = nullptr;
    QWidget *m_mainPage = nullptr;
    // Built when first shown: most runs never show it.
    LazyPage *m_forceUpdatePage = nullptr;
    LoginView *m_loginView = nullptr;
    bool m_painted = false;
};

} // namespace UI
