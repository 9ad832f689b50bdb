#include "FreshXdgRoot.h"
#include "TestEnvironment.h"

#include "storage/StoreTestHooks.h"
#include "ui/theme/ColorVariables.h"
#include "ui/theme/Contrast.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

using namespace UI::Theme;
using namespace Qt::StringLiterals;

namespace {

bool near(const QColor &actual, const QString &expected, int tolerance)
{
    const QColor e = QColor::fromString(expected);
    return qAbs(actual.red() - e.red()) <= tolerance
           && qAbs(actual.green() - e.green()) <= tolerance
           && qAbs(actual.blue() - e.blue()) <= tolerance;
}

QByteArray describe(const QColor &actual, const QString &expected)
{
    return (actual.name(QColor::HexRgb) + u" instead of "_s + expected).toLatin1();
}

} // namespace

// What the X server shows for a themed window: the sheet reaches real pixels.
class TestThemeWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void paintsThemedWidgets_data();
    void paintsThemedWidgets();
    void comboBoxesShowTheTintedChevron_data();
    void comboBoxesShowTheTintedChevron();
};

void TestThemeWindow::initTestCase()
{
    FreshXdgRoot root;
    Storage::PreferencesTestHooks::reopen();
    apply(*qApp);
}

void TestThemeWindow::paintsThemedWidgets_data()
{
    QTest::addColumn<QString>("id");
    QTest::newRow("pink") << u"pink"_s;
    QTest::newRow("black") << u"black"_s;
}

void TestThemeWindow::paintsThemedWidgets()
{
    QFETCH(QString, id);
    FreshXdgRoot root;
    Storage::PreferencesTestHooks::reopen();
    applyPalette(*qApp, id);
    const Palette &p = currentPalette();

    QWidget window;
    // Grabs read the server's copy: keep clear of where other tests' windows open.
    window.setGeometry(1500, 300, 460, 400);
    window.setFixedSize(460, 400);
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(30, 30, 30, 30);
    auto *primary = new QPushButton(QString(), &window);
    primary->setProperty("primary", true);
    setButtonHeight(primary, 44);
    primary->setFixedWidth(300);
    layout->addWidget(primary, 0, Qt::AlignLeft);
    auto *card = new QFrame(&window);
    card->setProperty("card", true);
    card->setFixedSize(300, 200);
    layout->addWidget(card, 0, Qt::AlignLeft);
    layout->addStretch();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(primary->height(), 44);

    QImage shot;
    // The server's copy can lag the first expose by a frame.
    QTRY_VERIFY_WITH_TIMEOUT(
            (shot = window.screen()->grabWindow(window.winId()).toImage(),
             near(shot.pixelColor(primary->geometry().center()), p.gradientMid, 40)),
            5000);

    const QRect b = primary->geometry();
    const int mid = b.center().y();
    const QColor left = shot.pixelColor(b.left() + 3, mid);
    const QColor right = shot.pixelColor(b.right() - 3, mid);
    // The stops as darkened for the button's white text.
    const QStringList stops = textGradientStops(p);
    QVERIFY2(near(left, stops.at(0), 6), describe(left, stops.at(0)));
    QVERIFY2(near(right, stops.at(2), 6), describe(right, stops.at(2)));

    const QColor inside = shot.pixelColor(card->geometry().center());
    QVERIFY2(near(inside, p.surface, 1), describe(inside, p.surface));
    const QColor margin = shot.pixelColor(8, 8);
    QVERIFY2(near(margin, p.background, 1), describe(margin, p.background));
    const QColor edge = shot.pixelColor(card->geometry().left(), card->geometry().center().y());
    QVERIFY2(near(edge, p.border, 12), describe(edge, p.border));
}

void TestThemeWindow::comboBoxesShowTheTintedChevron_data()
{
    QTest::addColumn<QString>("id");
    for (const Palette &palette : palettes())
        QTest::newRow(qPrintable(palette.id)) << palette.id;
}

void TestThemeWindow::comboBoxesShowTheTintedChevron()
{
    QFETCH(QString, id);
    FreshXdgRoot root;
    Storage::PreferencesTestHooks::reopen();
    applyPalette(*qApp, id);
    const QColor surface = QColor::fromString(currentPalette().surface);
    const QColor tint = QColor::fromString(brandTextColor);

    QWidget window;
    window.setGeometry(1500, 300, 300, 100);
    auto *layout = new QVBoxLayout(&window);
    auto *combo = new QComboBox(&window);
    combo->addItems({ u"No task"_s, u"Quarterly report"_s });
    combo->setFixedWidth(240);
    layout->addWidget(combo);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage shot = combo->grab().toImage();

    // The drop-down's 20 px at the right: the pixel standing out most from the field's fill is
    // the chevron's stroke, in the palette's accent text colour.
    QColor strongest = surface;
    for (int y = 2; y < shot.height() - 2; ++y) {
        for (int x = shot.width() - 22; x < shot.width() - 2; ++x) {
            const QColor pixel = shot.pixelColor(x, y);
            if (contrastRatio(pixel, surface) > contrastRatio(strongest, surface))
                strongest = pixel;
        }
    }
    QVERIFY2(near(strongest, brandTextColor, 40), describe(strongest, brandTextColor));
    QVERIFY2(contrastRatio(strongest, surface) >= kNonTextContrast,
             describe(strongest, tint.name()));
}

CLOCKWARDEN_TEST_MAIN(TestThemeWindow)
#include "tst_themewindow.moc"
