#include "FreshXdgRoot.h"
#include "TestEnvironment.h"

#include "storage/StoreTestHooks.h"
#include "ui/theme/Contrast.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/IconTabBar.h"
#include "ui/widgets/IconTabWidget.h"

#include <QApplication>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using UI::IconTabBar;
using UI::IconTabWidget;

namespace {

bool near(const QColor &a, const QString &expected, int tolerance = 2)
{
    const QColor b = QColor::fromString(expected);
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
           && qAbs(a.blue() - b.blue()) <= tolerance;
}

// The top line is drawn antialiased on the pixel edge, so it blends into the strip.
bool between(const QColor &c, const QString &one, const QString &other)
{
    const QColor a = QColor::fromString(one);
    const QColor b = QColor::fromString(other);
    const auto inside
            = [](int v, int x, int y) { return v >= qMin(x, y) - 1 && v <= qMax(x, y) + 1; };
    return inside(c.red(), a.red(), b.red()) && inside(c.green(), a.green(), b.green())
           && inside(c.blue(), a.blue(), b.blue()) && c != a;
}

QPoint iconCentre(IconTabBar *bar, int index)
{
    const QRect r = bar->tabRect(index);
    return QPoint((r.left() + r.right()) / 2, r.top() + 7 + 11);
}

} // namespace

class TestIconTabBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void sizesTabsEvenly();
    void paintsTheCurrentTabInTheBrandColour();
    void currentTabStandsOutInEveryPalette_data();
    void currentTabStandsOutInEveryPalette();
    void missingIconLeavesTheText();
    void newPathGivesANewRenderer();

private:
    QString square(const QString &name);

    std::unique_ptr<FreshXdgRoot> m_root;
    QTemporaryDir m_dir;
    std::unique_ptr<IconTabWidget> m_tabs;
    IconTabBar *m_bar = nullptr;
};

void TestIconTabBar::initTestCase()
{
    m_root = std::make_unique<FreshXdgRoot>();
    Storage::PreferencesTestHooks::reopen();
    UI::Theme::apply(*qApp);
}

QString TestIconTabBar::square(const QString &name)
{
    const QString path = m_dir.filePath(name + u".svg"_s);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"24\" height=\"24\" "
                   "viewBox=\"0 0 24 24\"><rect x=\"0\" y=\"0\" width=\"24\" height=\"24\" "
                   "fill=\"#000000\"/></svg>\n");
    }
    return path;
}

void TestIconTabBar::init()
{
    UI::Theme::applyPalette(*qApp, u"pink"_s);
    m_tabs = std::make_unique<IconTabWidget>();
    m_tabs->resize(300, 200);
    m_tabs->addTab(new QWidget, u"Tracker"_s);
    m_tabs->addTab(new QWidget, u"Summary"_s);
    m_bar = m_tabs->iconTabBar();
    m_bar->setTabIconPath(0, square(u"first"_s));
    m_bar->setTabIconPath(1, square(u"second"_s));
    m_tabs->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_tabs.get()));
}

void TestIconTabBar::cleanup()
{
    m_tabs.reset();
}

void TestIconTabBar::sizesTabsEvenly()
{
    IconTabBar empty;
    QCOMPARE(empty.tabSizeHint(0), QSize(70, 50));

    IconTabBar three;
    three.resize(301, 50);
    for (int i = 0; i < 3; ++i)
        three.addTab(u"Tab"_s);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(three.tabSizeHint(i), QSize(100, 50));

    QCOMPARE(m_tabs->tabPosition(), QTabWidget::South);
    QVERIFY(m_tabs->documentMode());
    QCOMPARE(m_tabs->tabBar(), m_bar);
    QCOMPARE(m_bar->height(), 50);
}

void TestIconTabBar::paintsTheCurrentTabInTheBrandColour()
{
    QImage image = m_bar->grab().toImage();
    QVERIFY(near(image.pixelColor(iconCentre(m_bar, 0)), UI::Theme::tabCurrentColor));
    QVERIFY(near(image.pixelColor(iconCentre(m_bar, 1)), UI::Theme::tabIdleColor));
    QVERIFY(near(image.pixelColor(2, 25), UI::Theme::chromeColor));
    QVERIFY(between(image.pixelColor(150, 0), UI::Theme::chromeColor, UI::Theme::borderColor));

    m_tabs->setCurrentIndex(1);
    image = m_bar->grab().toImage();
    QVERIFY(near(image.pixelColor(iconCentre(m_bar, 0)), UI::Theme::tabIdleColor));
    QVERIFY(near(image.pixelColor(iconCentre(m_bar, 1)), UI::Theme::tabCurrentColor));

    // No signal needed: the next paint reads the new palette's colours.
    UI::Theme::applyPalette(*qApp, u"teal"_s);
    image = m_bar->grab().toImage();
    QVERIFY(near(image.pixelColor(iconCentre(m_bar, 1)), u"#2FAE9E"_s));
    QVERIFY(near(image.pixelColor(iconCentre(m_bar, 0)), u"#181A20"_s));
    QVERIFY(near(image.pixelColor(2, 25), u"#E3F3EF"_s));
}

void TestIconTabBar::currentTabStandsOutInEveryPalette_data()
{
    QTest::addColumn<QString>("palette");
    for (const UI::Theme::Palette &palette : UI::Theme::palettes())
        QTest::newRow(qPrintable(palette.id)) << palette.id;
}

// Read off the painted bar: the current tab stands 2:1 apart from the others, and where its colour
// has no hue of its own to set it apart (a grey brand) it is the one farther from the chrome.
void TestIconTabBar::currentTabStandsOutInEveryPalette()
{
    QFETCH(QString, palette);
    UI::Theme::applyPalette(*qApp, palette);
    const QImage image = m_bar->grab().toImage();
    const QColor current = image.pixelColor(iconCentre(m_bar, 0));
    const QColor other = image.pixelColor(iconCentre(m_bar, 1));
    const QColor chrome = image.pixelColor(2, 25);
    QVERIFY2(UI::Theme::contrastRatio(current, other) >= 1.95,
             qPrintable(current.name() + u" against "_s + other.name()));
    if (current.hsvSaturation() < 40) {
        QVERIFY2(UI::Theme::contrastRatio(current, chrome)
                         > UI::Theme::contrastRatio(other, chrome),
                 qPrintable(current.name() + u" dimmer than "_s + other.name()));
    }
    QCOMPARE(QColor::fromString(UI::Theme::brandColor),
             QColor::fromString(UI::Theme::paletteById(palette).brand));
}

void TestIconTabBar::missingIconLeavesTheText()
{
    m_bar->setTabIconPath(0, m_dir.filePath(u"missing.svg"_s));
    QSvgRenderer *renderer = m_bar->tabRenderer(0);
    QVERIFY(renderer);
    QVERIFY(!renderer->isValid());
    QCOMPARE(m_bar->tabRenderer(0), renderer);

    const QImage image = m_bar->grab().toImage();
    QVERIFY(near(image.pixelColor(iconCentre(m_bar, 0)), UI::Theme::chromeColor));
    const QRect r = m_bar->tabRect(0);
    int brandPixels = 0;
    for (int y = r.top() + 30; y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x)
            brandPixels += near(image.pixelColor(x, y), UI::Theme::tabCurrentColor, 30);
    }
    QVERIFY(brandPixels > 5);
    QCOMPARE(m_bar->tabRenderer(5), nullptr);
}

void TestIconTabBar::newPathGivesANewRenderer()
{
    m_bar->setTabIconPath(0, m_dir.filePath(u"missing.svg"_s));
    QVERIFY(!m_bar->tabRenderer(0)->isValid());
    m_bar->setTabIconPath(0, square(u"third"_s));
    QVERIFY(m_bar->tabRenderer(0)->isValid());
    QVERIFY(near(m_bar->grab().toImage().pixelColor(iconCentre(m_bar, 0)), UI::Theme::brandColor));
}

CLOCKWARDEN_TEST_MAIN(TestIconTabBar)
#include "tst_icontabbar.moc"
