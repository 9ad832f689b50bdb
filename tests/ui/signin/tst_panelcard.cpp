#include "TestEnvironment.h"

#include "SignInPageFixture.h"
#include "ui/signin/PanelCard.h"
#include "ui/widgets/HeroBanner.h"

#include <QApplication>
#include <QGraphicsDropShadowEffect>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A window with a card inside margins wide enough for the whole shadow, the card holding a
// banner at its top when asked; the card is a PanelCard, or for reference a styled widget that
// carries the drop-shadow effect the sign-in cards had.
struct CardWindow
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QWidget *card = nullptr;

    CardWindow(bool reference, bool banner)
    {
        auto *layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(30, 30, 30, 30);
        if (reference) {
            card = new QWidget(window.get());
            card->setAttribute(Qt::WA_StyledBackground, true);
            card->setProperty("panelcard", true);
            auto *shadow = new QGraphicsDropShadowEffect(card);
            shadow->setBlurRadius(20);
            shadow->setColor(QColor(0, 0, 0, 12));
            shadow->setOffset(0, 4);
            card->setGraphicsEffect(shadow);
        } else {
            card = new UI::PanelCard(window.get());
        }
        auto *cardLayout = new QVBoxLayout(card);
        cardLayout->setContentsMargins(0, 0, 0, 0);
        if (banner) {
            auto *hero = new UI::HeroBanner(card);
            hero->setCornerRadius(18);
            hero->setFixedHeight(60);
            cardLayout->addWidget(hero);
        }
        cardLayout->addStretch();
        layout->addWidget(card);
        window->resize(300, 320);
    }
};

int largestDifference(const QImage &a, const QImage &b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            largest = std::max({ largest, std::abs(p.red() - q.red()),
                                 std::abs(p.green() - q.green()), std::abs(p.blue() - q.blue()) });
        }
    }
    return largest;
}

} // namespace

class TestPanelCard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void shadowLooksLikeTheEffect_data();
    void shadowLooksLikeTheEffect();
};

void TestPanelCard::initTestCase()
{
    SignInTest::usePalette(u"pink"_s);
}

void TestPanelCard::shadowLooksLikeTheEffect_data()
{
    QTest::addColumn<bool>("banner");
    QTest::newRow("plain card") << false;
    QTest::newRow("card with a banner") << true;
}

void TestPanelCard::shadowLooksLikeTheEffect()
{
    QFETCH(bool, banner);
    CardWindow reference(true, banner);
    CardWindow card(false, banner);
    QVERIFY(SignInTest::showPage(reference.window.get()));
    QVERIFY(SignInTest::showPage(card.window.get()));

    for (const QSize size : { QSize(300, 320), QSize(360, 260) }) {
        reference.window->resize(size);
        card.window->resize(size);
        QCoreApplication::processEvents();
        const QImage expected = SignInTest::shotOf(reference.window.get());
        const QImage shot = SignInTest::shotOf(card.window.get());
        QCOMPARE(shot.size(), expected.size());
        // Off by a few levels at most where the card's rounded corners meet the shadow.
        QVERIFY2(largestDifference(shot, expected) <= 6,
                 qPrintable(u"at %1x%2"_s.arg(size.width()).arg(size.height())));
        // The shadow is there: below the card's bottom edge the window is darker than far away.
        const QRect cardRect = card.card->geometry();
        const QColor far = shot.pixelColor(5, 5);
        const QColor under = shot.pixelColor(cardRect.center().x(), cardRect.bottom() + 5);
        QVERIFY2(far.red() - under.red() >= 3,
                 qPrintable(u"%1 against %2"_s.arg(under.name(), far.name())));
    }
}

CLOCKWARDEN_TEST_MAIN(TestPanelCard)
#include "tst_panelcard.moc"
