#include "TestEnvironment.h"

#include "ui/widgets/HoverFlip.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;
using UI::HoverFlip;

namespace {

class Sized final : public QWidget
{
public:
    explicit Sized(QSize hint)
        : m_hint(hint)
    {
    }
    QSize sizeHint() const override { return m_hint; }

private:
    QSize m_hint;
};

QLabel *side(const QString &text, const QColor &colour)
{
    auto *label = new QLabel(text);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, colour);
    label->setPalette(palette);
    return label;
}

void sendEnter(QWidget *widget)
{
    const QPointF inside(widget->width() / 2.0, widget->height() / 2.0);
    QEnterEvent enter(inside, inside, widget->mapToGlobal(inside));
    QApplication::sendEvent(widget, &enter);
}

void sendLeave(QWidget *widget)
{
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(widget, &leave);
}

} // namespace

class TestHoverFlip : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void restingOnTheFrontEmitsNothing();
    void enteringTurnsToTheBack();
    void leavingMidTurnTurnsBackInAFullTurn();
    void realPointerTurnsTheCard();
    void keysActivate_data();
    void keysActivate();
    void zeroSizedCardCompletesItsTurn();
    void sizeHintIsTheLargerOfBothSides();
    void snapshotsFollowThePixelRatio();

private:
    std::unique_ptr<QWidget> m_window;
    HoverFlip *m_card = nullptr;
    QLabel *m_front = nullptr;
    QLabel *m_back = nullptr;
};

void TestHoverFlip::init()
{
    m_window = std::make_unique<QWidget>();
    // Off the screen centre where the pointer rests, and on screen at twice the scale too.
    m_window->setGeometry(900, 150, 300, 200);
    m_card = new HoverFlip(m_window.get());
    m_card->setGeometry(50, 50, 200, 100);
    m_front = side(u"front"_s, Qt::red);
    m_back = side(u"back"_s, Qt::blue);
    m_card->setWidgets(m_front, m_back);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestHoverFlip::cleanup()
{
    m_window.reset();
}

void TestHoverFlip::restingOnTheFrontEmitsNothing()
{
    QSignalSpy spy(m_card, &HoverFlip::flippedChanged);
    m_back->show(); // as a dialog might leave it
    m_card->setFlipped(false);
    QCOMPARE(spy.count(), 0);
    QVERIFY(m_front->isVisible());
    QVERIFY(!m_back->isVisible());
}

void TestHoverFlip::enteringTurnsToTheBack()
{
    QSignalSpy spy(m_card, &HoverFlip::flippedChanged);
    QElapsedTimer clock;
    clock.start();
    sendEnter(m_card);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QVERIFY(!m_front->isVisible());
    QVERIFY(!m_back->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(m_back->isVisible(), 2000);
    QVERIFY2(clock.elapsed() >= 340, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!m_front->isVisible());
    QCOMPARE(spy.count(), 1);
}

void TestHoverFlip::leavingMidTurnTurnsBackInAFullTurn()
{
    QSignalSpy spy(m_card, &HoverFlip::flippedChanged);
    sendEnter(m_card);
    QElapsedTimer sinceLeave;
    QTimer::singleShot(100, m_card, [&] {
        sinceLeave.start();
        sendLeave(m_card);
    });
    QTRY_COMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
    QVERIFY(!m_front->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(m_front->isVisible(), 2000);
    QVERIFY2(sinceLeave.elapsed() >= 340, qPrintable(QString::number(sinceLeave.elapsed())));
    QVERIFY(!m_back->isVisible());
}

void TestHoverFlip::realPointerTurnsTheCard()
{
    const QPoint outside = m_window->mapToGlobal(QPoint(5, 5));
    QCursor::setPos(outside);
    QSignalSpy spy(m_card, &HoverFlip::flippedChanged);
    // Other tests share the display: put the pointer back each time round in case one moved it.
    const QPoint inside = m_card->mapToGlobal(m_card->rect().center());
    QTRY_VERIFY_WITH_TIMEOUT((QCursor::setPos(inside), m_back->isVisible()), 5000);
    QVERIFY(spy.count() >= 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QTRY_VERIFY_WITH_TIMEOUT((QCursor::setPos(outside), m_front->isVisible()), 5000);
    QCOMPARE(spy.last().at(0).toBool(), false);
}

void TestHoverFlip::keysActivate_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("activations");
    QTest::newRow("Return") << int(Qt::Key_Return) << 1;
    QTest::newRow("Enter") << int(Qt::Key_Enter) << 1;
    QTest::newRow("Space") << int(Qt::Key_Space) << 1;
    QTest::newRow("A") << int(Qt::Key_A) << 0;
}

void TestHoverFlip::keysActivate()
{
    QFETCH(int, key);
    QFETCH(int, activations);
    QSignalSpy spy(m_card, &HoverFlip::activated);
    QTest::keyClick(m_card, Qt::Key(key));
    QCOMPARE(spy.count(), activations);
    // The back side answers the same.
    m_card->setFlipped(true);
    QTest::keyClick(m_card, Qt::Key(key));
    QCOMPARE(spy.count(), 2 * activations);
}

void TestHoverFlip::zeroSizedCardCompletesItsTurn()
{
    m_card->resize(0, 0);
    QVERIFY(m_card->renderSnapshot(m_front).isNull());
    m_card->setFlipped(true);
    QTRY_VERIFY_WITH_TIMEOUT(m_back->isVisibleTo(m_card), 2000);
    QVERIFY(!m_front->isVisibleTo(m_card));
}

void TestHoverFlip::sizeHintIsTheLargerOfBothSides()
{
    HoverFlip both;
    both.setWidgets(new Sized(QSize(120, 40)), new Sized(QSize(80, 90)));
    QCOMPARE(both.sizeHint(), QSize(120, 90));

    HoverFlip frontOnly;
    frontOnly.setWidgets(new Sized(QSize(120, 40)), nullptr);
    QCOMPARE(frontOnly.sizeHint(), QSize(120, 40));

    HoverFlip none;
    QCOMPARE(none.sizeHint(), QWidget().sizeHint());

    HoverFlip negative;
    negative.setWidgets(new Sized(QSize(-1, 30)), nullptr);
    QCOMPARE(negative.sizeHint(), QWidget().sizeHint());
}

void TestHoverFlip::snapshotsFollowThePixelRatio()
{
    const qreal ratio = m_card->devicePixelRatioF();
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == u"2"_s)
        QCOMPARE(ratio, 2.0);
    const QPixmap back = m_card->renderSnapshot(m_back);
    QCOMPARE(back.devicePixelRatio(), ratio);
    QCOMPARE(back.size(), QSize(int(std::lround(m_card->width() * ratio)),
                                int(std::lround(m_card->height() * ratio))));
    // The hidden back side is pictured too.
    QVERIFY(!m_back->isVisible());
    const QImage image = back.toImage();
    QCOMPARE(image.pixelColor(image.width() - 2, image.height() - 2), QColor(Qt::blue));
}

CLOCKWARDEN_TEST_MAIN(TestHoverFlip)
#include "tst_hoverflip.moc"
