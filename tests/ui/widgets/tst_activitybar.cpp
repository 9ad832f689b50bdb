#include "FreshXdgRoot.h"
#include "TestEnvironment.h"

#include "storage/StoreTestHooks.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/ActivityBar.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;
using UI::ActivityBar;

namespace {

const QString fill = u"#17B83F"_s;

} // namespace

class TestActivityBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void paintsTrackAndFill_data();
    void paintsTrackAndFill();
    void takesItsHeightAndExpands();
    void trackFollowsThePalette();

private:
    std::unique_ptr<QWidget> showBar(double percent, ActivityBar *&bar);
    std::unique_ptr<FreshXdgRoot> m_root;
};

void TestActivityBar::initTestCase()
{
    m_root = std::make_unique<FreshXdgRoot>();
    Storage::PreferencesTestHooks::reopen();
    UI::Theme::apply(*qApp);
}

std::unique_ptr<QWidget> TestActivityBar::showBar(double percent, ActivityBar *&bar)
{
    auto window = std::make_unique<QWidget>();
    window->resize(140, 40);
    bar = new ActivityBar(percent, fill, 5, window.get());
    bar->setGeometry(20, 20, 100, 5);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    return window;
}

void TestActivityBar::paintsTrackAndFill_data()
{
    QTest::addColumn<double>("percent");
    QTest::addColumn<QList<int>>("filledXs");
    QTest::addColumn<QList<int>>("trackXs");
    QTest::newRow("below 0 clamps to none") << -5.0 << QList<int>{} << QList<int>{ 2, 50, 97 };
    QTest::newRow("above 100 clamps to full") << 150.0 << QList<int>{ 2, 50, 97 } << QList<int>{};
    QTest::newRow("0.4 px is no fill") << 0.4 << QList<int>{} << QList<int>{ 2, 50 };
    QTest::newRow("1 px is a full dot") << 1.0 << QList<int>{ 2 } << QList<int>{ 7, 50 };
    QTest::newRow("half") << 50.0 << QList<int>{ 2, 47 } << QList<int>{ 53, 97 };
}

void TestActivityBar::paintsTrackAndFill()
{
    QFETCH(double, percent);
    QFETCH(QList<int>, filledXs);
    QFETCH(QList<int>, trackXs);
    ActivityBar *bar = nullptr;
    const auto window = showBar(percent, bar);
    QVERIFY(window);
    const QImage image = bar->grab().toImage();
    QCOMPARE(image.size(), QSize(100, 5));
    for (int x : filledXs)
        QCOMPARE(image.pixelColor(x, 2), QColor::fromString(fill));
    for (int x : trackXs)
        QCOMPARE(image.pixelColor(x, 2), QColor::fromString(UI::Theme::borderColor));
}

void TestActivityBar::takesItsHeightAndExpands()
{
    ActivityBar bar(30, fill, 7);
    QCOMPARE(bar.minimumHeight(), 7);
    QCOMPARE(bar.maximumHeight(), 7);
    QCOMPARE(bar.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(bar.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
}

void TestActivityBar::trackFollowsThePalette()
{
    ActivityBar *bar = nullptr;
    const auto window = showBar(10, bar);
    QVERIFY(window);
    UI::Theme::applyPalette(*qApp, u"black"_s);
    bar->repaint();
    QCOMPARE(bar->grab().toImage().pixelColor(50, 2), QColor(u"#37373E"_s));
    UI::Theme::applyPalette(*qApp, u"pink"_s);
}

CLOCKWARDEN_TEST_MAIN(TestActivityBar)
#include "tst_activitybar.moc"
