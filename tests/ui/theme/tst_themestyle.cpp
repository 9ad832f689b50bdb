#include "FreshXdgRoot.h"
#include "TestEnvironment.h"

#include "storage/StoreTestHooks.h"
#include "ui/theme/ColorVariables.h"
#include "ui/theme/Contrast.h"
#include "ui/theme/Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

using namespace UI::Theme;
using namespace Qt::StringLiterals;

namespace {

// Distance of two colours, channel by channel.
int distance(const QColor &a, const QColor &b)
{
    return std::max(
            { qAbs(a.red() - b.red()), qAbs(a.green() - b.green()), qAbs(a.blue() - b.blue()) });
}

} // namespace

// The theme's proxy style over Fusion: what a style sheet cannot draw.
class TestThemeStyle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void focusRingFollowsPillButtons_data();
    void focusRingFollowsPillButtons();
    void messageBoxesShowTheThemeSymbols_data();
    void messageBoxesShowTheThemeSymbols();

private:
    FreshXdgRoot m_root;
};

void TestThemeStyle::initTestCase()
{
    Storage::PreferencesTestHooks::reopen();
    apply(*qApp);
}

void TestThemeStyle::focusRingFollowsPillButtons_data()
{
    QTest::addColumn<QString>("palette");
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("checked");
    const struct
    {
        const char *kind;
        QString text;
        bool checked;
    } buttons[] = {
        { "primary", u"Start Tracking"_s, false },
        { "outline", u"Stop"_s, false },
        { "primary", u"Resume"_s, false },
        { "segment", u"Today"_s, true },
    };
    for (const QString &palette : { u"pink"_s, u"teal"_s, u"black"_s }) {
        for (const auto &button : buttons) {
            QTest::addRow("%s %s", qPrintable(palette), qPrintable(button.text))
                    << palette << QByteArray(button.kind) << button.text << button.checked;
        }
    }
}

void TestThemeStyle::focusRingFollowsPillButtons()
{
    QFETCH(QString, palette);
    QFETCH(QByteArray, kind);
    QFETCH(QString, text);
    QFETCH(bool, checked);
    applyPalette(*qApp, palette);

    QWidget window;
    // Clear of the windows whose server copy other tests grab.
    window.setGeometry(1000, 450, 400, 200);
    auto *layout = new QVBoxLayout(&window);
    auto *before = new QPushButton(u"Before"_s, &window);
    layout->addWidget(before);
    auto *button = new QPushButton(text, &window);
    button->setProperty(kind.constData(), true);
    button->setCheckable(checked);
    button->setChecked(checked);
    if (kind != "segment")
        setButtonHeight(button, 44);
    button->setFixedWidth(200);
    layout->addWidget(button);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    // Windows of tests running beside this one may hold the X focus: the application can make
    // its window active on its own, which is all keyboard focus inside it needs.
    if (!QTest::qWaitForWindowActive(&window, 2000))
        QApplication::setActiveWindow(&window);
    before->setFocus(Qt::OtherFocusReason);
    const QImage plain = button->grab().toImage();

    // Reached by the keyboard, as a user reaches it.
    QTest::keyClick(&window, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button);
    const QImage focused = button->grab().toImage();

    // The ring runs 2 px wide just inside the edge (outline buttons: inside their border): in
    // the middle of the left side, and clear of the corner the rounded shape leaves empty, which
    // a square ring would cross.
    const int mid = plain.height() / 2;
    int x = 2;
    while (x < 8 && distance(focused.pixelColor(x, mid), plain.pixelColor(x, mid)) <= 40)
        ++x;
    QVERIFY2(x < 8, "no ring along the left side");
    const QColor fill = plain.pixelColor(x, mid);
    const QColor ring = focused.pixelColor(x, mid);
    QCOMPARE(focused.pixelColor(x, x), plain.pixelColor(x, x));
    // It stays visible: 3:1 against the button's own fill.
    const double ratio = contrastRatio(ring, fill);
    QVERIFY2(ratio >= kNonTextContrast, qPrintable(QString::number(ratio)));
}

void TestThemeStyle::messageBoxesShowTheThemeSymbols_data()
{
    QTest::addColumn<QMessageBox::Icon>("kind");
    QTest::addColumn<QString>("variable");
    QTest::newRow("information") << QMessageBox::Information << u"brand text"_s;
    QTest::newRow("question") << QMessageBox::Question << u"brand text"_s;
    QTest::newRow("warning") << QMessageBox::Warning << u"orange"_s;
    QTest::newRow("critical") << QMessageBox::Critical << u"danger"_s;
}

void TestThemeStyle::messageBoxesShowTheThemeSymbols()
{
    QFETCH(QMessageBox::Icon, kind);
    QFETCH(QString, variable);
    applyPalette(*qApp, u"black"_s);
    // Read once the palette has set them.
    const QHash<QString, QString> colours = { { u"brand text"_s, brandTextColor },
                                              { u"orange"_s, orangeColor },
                                              { u"danger"_s, dangerColor } };
    const QString colour = colours.value(variable);
    QMessageBox box(kind, u"Tembrix Clockwarden"_s, u"Text"_s,
                    QMessageBox::Ok | QMessageBox::Cancel);

    // One colour, the theme's tint: Qt's own fallback icons are drawn in several.
    const QImage symbol = box.iconPixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!symbol.isNull());
    int drawn = 0;
    for (int y = 0; y < symbol.height(); ++y) {
        for (int x = 0; x < symbol.width(); ++x) {
            const QColor pixel = symbol.pixelColor(x, y);
            if (pixel.alpha() < 200)
                continue;
            ++drawn;
            QVERIFY2(distance(pixel, QColor::fromString(colour)) <= 3,
                     qPrintable(pixel.name() + u" instead of "_s + colour));
        }
    }
    QVERIFY(drawn > 20);
    // Buttons carry words only.
    for (QAbstractButton *button : box.buttons())
        QVERIFY2(button->icon().isNull(), qPrintable(button->text()));
}

CLOCKWARDEN_TEST_MAIN(TestThemeStyle)
#include "tst_themestyle.moc"
