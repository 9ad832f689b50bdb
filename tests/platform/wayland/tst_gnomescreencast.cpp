#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "GnomeDesktop.h"
#include "LogTail.h"
#include "TestEnvironment.h"
#include "platform/wayland/WaylandScreenCapturer.h"
#include "storage/Log.h"
#include "storage/Preferences.h"

using namespace Qt::StringLiterals;
using Platform::Wayland::WaylandScreenCapturer;
using TestSupport::GnomeDesktop;

namespace {

const QString tokenKey = Storage::PreferenceKeys::screencastRestoreToken;
const QSize monitorSize(1280, 800);
// The test's own window fills one monitor in this colour.
const QColor known(0x20, 0xc0, 0x40);

QString storedToken()
{
    return Storage::Preferences::instance().value(tokenKey).toString();
}

// The share of the image's pixels within a small distance of the colour.
double shareOf(const QImage &image, const QColor &colour)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    qint64 matching = 0;
    for (int y = 0; y < rgb.height(); y += 4) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); x += 4) {
            if (qAbs(qRed(line[x]) - colour.red()) < 12
                && qAbs(qGreen(line[x]) - colour.green()) < 12
                && qAbs(qBlue(line[x]) - colour.blue()) < 12)
                ++matching;
        }
    }
    return double(matching) / double((rgb.height() / 4) * (rgb.width() / 4));
}

} // namespace

// The ScreenCast capturer against the real portal, its GNOME dialog and Mutter's PipeWire streams,
// on a desktop of two virtual monitors. The cases run in order, each from the state the one before
// left: first grant, frames, restart with the restore token, revoke and a cancelled grant.
class TestGnomeScreenCast : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void firstGrantGoesThroughTheDialog();
    void framesShowEveryMonitor();
    void restoreTokenStartsWithoutDialog();
    void revokedGrantAsksAgainAndACancelKeepsItOff();

private:
    std::optional<LogTail> m_log;
    std::unique_ptr<WaylandScreenCapturer> m_capturer;
};

void TestGnomeScreenCast::initTestCase()
{
    QVERIFY2(GnomeDesktop::isRunning(), "run on tests/support/gnome/with-gnome-session");
    Core::Log::install();
    QCOMPARE(QGuiApplication::platformName(), u"wayland"_s);
}

void TestGnomeScreenCast::init()
{
    m_log.emplace();
}

void TestGnomeScreenCast::cleanupTestCase()
{
    m_capturer.reset();
}

void TestGnomeScreenCast::firstGrantGoesThroughTheDialog()
{
    QVERIFY(storedToken().isEmpty());
    m_capturer = std::make_unique<WaylandScreenCapturer>();
    QSignalSpy changed(m_capturer.get(), &Platform::IScreenCapturer::availabilityChanged);
    QVERIFY(!m_capturer->isAvailable());

    QElapsedTimer granting;
    granting.start();
    m_capturer->requestAccess();
    QVERIFY(GnomeDesktop::confirmShareDialog());
    QTRY_VERIFY_WITH_TIMEOUT(m_capturer->isAvailable(), 30000);
    qInfo("granted %lld ms after the request, the dialog answered by keyboard", granting.elapsed());
    QCOMPARE(changed.size(), 1);
    QVERIFY(!storedToken().isEmpty());
    QVERIFY(m_log->contains(u"[INFO] [config]"_s,
                            u"ScreenCast Start ok: 2 stream(s), restore_token=(set)"_s));
}

void TestGnomeScreenCast::framesShowEveryMonitor()
{
    QVERIFY(m_capturer && m_capturer->isAvailable());
    QWidget window;
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, known);
    window.setPalette(palette);
    window.showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Mutter sends a frame when the screen changes: the window's first frames may still show the
    // bare desktop.
    QList<QImage> images;
    const auto knownOnOne = [&] {
        images = m_capturer->captureScreens();
        if (images.size() != 2)
            return false;
        return (shareOf(images.at(0), known) > 0.95) != (shareOf(images.at(1), known) > 0.95);
    };
    QTRY_VERIFY_WITH_TIMEOUT(knownOnOne(), 15000);
    for (const QImage &image : std::as_const(images))
        QCOMPARE(image.size(), monitorSize);
    // The other monitor shows the desktop: neither the window nor a blank frame.
    const QImage &other = shareOf(images.at(0), known) > 0.95 ? images.at(1) : images.at(0);
    QVERIFY(shareOf(other, known) < 0.05);
    QVERIFY(shareOf(other, Qt::black) < 0.9);
}

void TestGnomeScreenCast::restoreTokenStartsWithoutDialog()
{
    QVERIFY(!storedToken().isEmpty());
    m_capturer.reset();

    QElapsedTimer restarting;
    restarting.start();
    m_capturer = std::make_unique<WaylandScreenCapturer>();
    QTRY_VERIFY2_WITH_TIMEOUT(m_capturer->isAvailable() || GnomeDesktop::shareDialogShown(),
                              qPrintable(m_log->lines().join(u'\n')), 30000);
    QVERIFY(!GnomeDesktop::shareDialogShown());
    QVERIFY(m_capturer->isAvailable());
    qInfo("available again %lld ms after the restart, with no dialog", restarting.elapsed());
    QCOMPARE(m_capturer->captureScreens().size(), 2);
    // GNOME's portal answers a restore with a token again (here the same one), which is kept.
    QVERIFY(!storedToken().isEmpty());
}

void TestGnomeScreenCast::revokedGrantAsksAgainAndACancelKeepsItOff()
{
    QVERIFY(m_capturer && m_capturer->isAvailable());
    QSignalSpy changed(m_capturer.get(), &Platform::IScreenCapturer::availabilityChanged);
    m_capturer->onPermissionRevoked();
    QVERIFY(!m_capturer->isAvailable());
    QCOMPARE(changed.size(), 1);
    QVERIFY(storedToken().isEmpty());
    QVERIFY(m_capturer->captureScreens().isEmpty());

    m_capturer->requestAccess();
    QVERIFY(GnomeDesktop::cancelShareDialog());
    // Code 1: the user cancelled.
    QTRY_VERIFY_WITH_TIMEOUT(
            !m_log->lines()
                     .filter(u"[ERROR] [config] ScreenCast Start failed/cancelled (code=1,"_s)
                     .isEmpty(),
            10000);
    QVERIFY(!m_capturer->isAvailable());
    QCOMPARE(changed.size(), 1);
    QVERIFY(storedToken().isEmpty());
}

CLOCKWARDEN_TEST_MAIN(TestGnomeScreenCast)

#include "tst_gnomescreencast.moc"
