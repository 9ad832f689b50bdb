#include "TestEnvironment.h"
#include "XTools.h"

#include "ui/widgets/ShownRefresh.h"

#include <QApplication>
#include <QStackedWidget>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>

using namespace Qt::StringLiterals;
using UI::ShownRefresh;

namespace {

// A window whose stack holds a counting view on its second page.
struct Window
{
    Window()
    {
        auto *layout = new QVBoxLayout(&top);
        layout->addWidget(stack);
        stack->addWidget(new QWidget);
        stack->addWidget(view);
        stack->setCurrentWidget(view);
        top.resize(200, 200);
        refresh->setReleaseOffScreen([this] { ++releases; });
    }

    QWidget top;
    QStackedWidget *stack = new QStackedWidget;
    QWidget *view = new QWidget;
    int refreshes = 0;
    int releases = 0;
    ShownRefresh *refresh = new ShownRefresh(view, [this] { ++refreshes; });
};

bool xdotool(const QString &command, const QWidget &window)
{
    return TestSupport::runTool(u"xdotool"_s,
                                { command, u"--sync"_s, QString::number(window.winId()) });
}

} // namespace

class TestShownRefresh : public QObject
{
    Q_OBJECT

private slots:
    void refreshesAtOnceWhileShown();
    void hiddenRefreshesOnceWhenShown();
    void unmappedRefreshesOnceWhenMapped();
    void releasesOnceEachTimeItLeavesTheScreen();
};

void TestShownRefresh::refreshesAtOnceWhileShown()
{
    Window window;
    window.top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.top));
    window.refresh->request();
    window.refresh->request();
    QCOMPARE(window.refreshes, 2);
    QVERIFY(!window.refresh->isStale());
}

void TestShownRefresh::hiddenRefreshesOnceWhenShown()
{
    Window window;
    // Never shown yet, then its window hidden, then its page not the current one.
    window.refresh->request();
    window.top.show();
    QCOMPARE(window.refreshes, 1);

    window.top.hide();
    window.refresh->request();
    window.refresh->request();
    QCOMPARE(window.refreshes, 1);
    window.top.show();
    QCOMPARE(window.refreshes, 2);

    window.stack->setCurrentIndex(0);
    window.refresh->request();
    QCOMPARE(window.refreshes, 2);
    QVERIFY(window.refresh->isStale());
    window.stack->setCurrentIndex(1);
    QCOMPARE(window.refreshes, 3);
    // Nothing was asked for meanwhile: showing costs nothing.
    window.stack->setCurrentIndex(0);
    window.stack->setCurrentIndex(1);
    QCOMPARE(window.refreshes, 3);
}

void TestShownRefresh::unmappedRefreshesOnceWhenMapped()
{
    Window window;
    window.top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.top));
    window.refresh->request();
    QCOMPARE(window.refreshes, 1);

    // Unmapped behind the toolkit's back, as a desktop hides a window: the widgets stay visible.
    QVERIFY(xdotool(u"windowunmap"_s, window.top));
    QTRY_VERIFY(!window.top.windowHandle()->isExposed());
    QVERIFY(window.view->isVisible());
    window.refresh->request();
    window.refresh->request();
    QCOMPARE(window.refreshes, 1);

    QVERIFY(xdotool(u"windowmap"_s, window.top));
    QTRY_COMPARE(window.refreshes, 2);
    window.refresh->request();
    QCOMPARE(window.refreshes, 3);
}

void TestShownRefresh::releasesOnceEachTimeItLeavesTheScreen()
{
    Window window;
    window.top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.top));
    QCOMPARE(window.releases, 0);

    window.stack->setCurrentIndex(0);
    QCOMPARE(window.releases, 1);
    window.stack->setCurrentIndex(1);
    QCOMPARE(window.releases, 1);

    // Its window hidden: the hide event releases, the unmapping that follows does not again.
    window.top.hide();
    QCOMPARE(window.releases, 2);
    QTRY_VERIFY(!window.top.windowHandle()->isExposed());
    QCOMPARE(window.releases, 2);
    window.top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.top));
    QCOMPARE(window.releases, 2);

    QVERIFY(xdotool(u"windowunmap"_s, window.top));
    QTRY_COMPARE(window.releases, 3);
    QVERIFY(xdotool(u"windowmap"_s, window.top));
    QTRY_VERIFY(window.top.windowHandle()->isExposed());
    QCOMPARE(window.releases, 3);
    // The page that was off screen while unmapped is not released twice.
    window.stack->setCurrentIndex(0);
    QVERIFY(xdotool(u"windowunmap"_s, window.top));
    QTRY_VERIFY(!window.top.windowHandle()->isExposed());
    QCOMPARE(window.releases, 4);
}

CLOCKWARDEN_TEST_MAIN(TestShownRefresh)
#include "tst_shownrefresh.moc"
