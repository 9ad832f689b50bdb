#include "ApiClientFixture.h"
#include "FakeHrServer.h"
#include "SessionManagerFixture.h"
#include "SignedInClient.h"
#include "TestEnvironment.h"

#include "core/AppStateManager.h"
#include "networking/ApiEndpoint.h"
#include "storage/Preferences.h"
#include "ui/main/SettingsView.h"
#include "ui/theme/ColorVariables.h"
#include "ui/theme/Palette.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using Core::AppStateManager;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrServer;
using TestSupport::SignedInClient;
using UI::SettingsView;

namespace {

const QDateTime t0 = QDateTime::fromString(u"2025-03-01T09:00:00.000Z"_s, Qt::ISODateWithMs);

template<typename T>
T *child(const QWidget &view, const QString &name)
{
    T *found = view.findChild<T *>(name);
    if (!found)
        qFatal("no child %s", qPrintable(name));
    return found;
}

QPushButton *swatch(const QWidget &view, const QString &displayName)
{
    QPushButton *found = nullptr;
    const QList<QPushButton *> swatches = view.findChildren<QPushButton *>(u"paletteSwatch"_s);
    for (QPushButton *button : swatches) {
        if (button->accessibleName() == u"Palette "_s + displayName)
            found = button;
    }
    if (!found)
        qFatal("no swatch %s", qPrintable(displayName));
    return found;
}

QImage swatchImage(const QPushButton *button)
{
    return button->icon().pixmap(36, 36).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Near-white pixels where the check mark sits (its thin strokes are antialiased into the disc).
int whitePixels(const QImage &image)
{
    int count = 0;
    for (int y = 10; y < 26; ++y) {
        for (int x = 10; x < 26; ++x) {
            const QColor colour = image.pixelColor(x, y);
            if (qMin(colour.red(), qMin(colour.green(), colour.blue())) >= 235)
                ++count;
        }
    }
    return count;
}

} // namespace

class TestSettingsViewUpdate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void versionTextAndGreetingBeforeFirstShow();
    void showPicksAGreetingFromTheList();
    void checkUpdateFollowsSignIn();
    void updateCheckOutcome_data();
    void updateCheckOutcome();
    void configurationAfterSignOutIsDropped();
    void blackSwatchAppliesAndMarksThePalette();
};

void TestSettingsViewUpdate::init()
{
    AppStateManager::instance().resetForSignOut();
    Storage::clearUserProfile();
}

void TestSettingsViewUpdate::cleanup()
{
    AppStateManager::instance().resetForSignOut();
    Storage::clearUserProfile();
}

void TestSettingsViewUpdate::versionTextAndGreetingBeforeFirstShow()
{
    SessionManagerFixture fixture(t0);
    Storage::saveUserProfile(u"Ada"_s, std::nullopt);
    SettingsView view(fixture.engine());
    QCOMPARE(child<QLabel>(view, u"Settings_VersionLabel"_s)->text(), u"Version 1.4.3 (11)"_s);
    QCOMPARE(child<QLabel>(view, u"Settings_GreetingLabel"_s)->text(), u"Hello Ada,"_s);
}

void TestSettingsViewUpdate::showPicksAGreetingFromTheList()
{
    const QStringList &greetings = SettingsView::greetings();
    QCOMPARE(greetings.size(), 92);
    QCOMPARE(greetings.first(), u"Hello"_s);
    QCOMPARE(greetings.last(), u"Sup"_s);
    QCOMPARE(greetings.indexOf(u"Yá'át'ééh"_s), 80);
    QCOMPARE(QSet<QString>(greetings.cbegin(), greetings.cend()).size(), 92);

    SessionManagerFixture fixture(t0);
    Storage::saveUserProfile(u"Ada"_s, std::nullopt);
    SettingsView view(fixture.engine());
    view.show();
    const QString text = child<QLabel>(view, u"Settings_GreetingLabel"_s)->text();
    QVERIFY2(text.endsWith(u" Ada,"_s), qPrintable(text));
    QVERIFY2(greetings.contains(text.chopped(5)), qPrintable(text));
}

void TestSettingsViewUpdate::checkUpdateFollowsSignIn()
{
    SessionManagerFixture fixture(t0);
    SettingsView view(fixture.engine());
    auto *button = child<QPushButton>(view, u"Settings_CheckUpdateButton"_s);
    QVERIFY(!button->isEnabled());
    AppStateManager::instance().setIsAuthenticated(true);
    QVERIFY(button->isEnabled());
    AppStateManager::instance().resetForSignOut();
    QVERIFY(!button->isEnabled());
}

void TestSettingsViewUpdate::updateCheckOutcome_data()
{
    QTest::addColumn<QString>("latest"); // empty: the stand-in is stopped
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("forced");

    QTest::newRow("same version") << u"1.4.3"_s << u"You're up to date."_s << false;
    QTest::newRow("older version") << u"1.4.2"_s << u"You're up to date."_s << false;
    QTest::newRow("newer version") << u"9.9.9"_s << u"Update required."_s << true;
    QTest::newRow("server stopped") << QString() << u"Failed to check update."_s << false;
}

void TestSettingsViewUpdate::updateCheckOutcome()
{
    QFETCH(QString, latest);
    QFETCH(QString, status);
    QFETCH(bool, forced);

    SessionManagerFixture fixture(t0);
    SignedInClient session;
    if (latest.isEmpty())
        session.server.stopListening();
    else
        session.setLatestVersion(latest);
    SettingsView view(fixture.engine());
    view.show();
    auto *button = child<QPushButton>(view, u"Settings_CheckUpdateButton"_s);
    auto *label = child<QLabel>(view, u"Settings_UpdateStatusLabel"_s);
    label->setText(u"stale"_s);

    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), u"Checking…"_s);
    QVERIFY(!button->isEnabled());
    QCOMPARE(label->text(), QString());

    QTRY_COMPARE_WITH_TIMEOUT(button->text(), u"Check update"_s, 15000);
    QCOMPARE(label->text(), status);
    QVERIFY(button->isEnabled());
    QCOMPARE(AppStateManager::instance().forceClientUpdate(), forced);
    QCOMPARE(AppStateManager::instance().remoteConfig().has_value(), !latest.isEmpty());
    if (!latest.isEmpty()) {
        QCOMPARE(AppStateManager::instance().remoteConfig()->latestClientVersionLinux,
                 std::optional(latest));
    }
}

void TestSettingsViewUpdate::configurationAfterSignOutIsDropped()
{
    SessionManagerFixture fixture(t0);
    SignedInClient session;
    session.server.addFault(FakeHrRoute::Configuration, FakeHrFault::delay(500));
    SettingsView view(fixture.engine());
    view.show();
    auto *button = child<QPushButton>(view, u"Settings_CheckUpdateButton"_s);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(session.server.waitForRequests(1, FakeHrRoute::Configuration));

    // Signed out while the answer is on its way; the configuration session itself stays open, so
    // the fetch succeeds and only the view can drop it.
    AppStateManager::instance().resetForSignOut();
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), u"Check update"_s, 15000);
    QCOMPARE(child<QLabel>(view, u"Settings_UpdateStatusLabel"_s)->text(),
             u"Failed to check update."_s);
    QVERIFY(!AppStateManager::instance().remoteConfig());
    QVERIFY(!button->isEnabled());
}

void TestSettingsViewUpdate::blackSwatchAppliesAndMarksThePalette()
{
    SessionManagerFixture fixture(t0);
    UI::Theme::applyPalette(*qApp, u"pink"_s);
    SettingsView view(fixture.engine());
    view.show();
    QPushButton *black = swatch(view, u"Black"_s);
    QPushButton *pink = swatch(view, u"Pink"_s);
    QCOMPARE(black->toolTip(), u"Black"_s);
    QVERIFY(whitePixels(swatchImage(pink)) > 0);
    QCOMPARE(whitePixels(swatchImage(black)), 0);

    QTest::mouseClick(black, Qt::LeftButton);
    QCOMPARE(
            Storage::Preferences::instance().value(u"com.tembrix.clockwarden.palette"_s).toString(),
            u"black"_s);
    QCOMPARE(UI::Theme::currentPalette().id, u"black"_s);

    const QImage selected = swatchImage(black);
    const QImage unselected = swatchImage(pink);
    QVERIFY(whitePixels(selected) > 5);
    QCOMPARE(whitePixels(unselected), 0);
    // The 2 px ring covers the pixel just outside the disc fully, the 1 px ring only half.
    const QColor outer = selected.pixelColor(1, 18);
    const QColor brand = QColor::fromString(UI::Theme::paletteById(u"black"_s).brand);
    QVERIFY2(outer.alpha() >= 230, qPrintable(QString::number(outer.alpha())));
    QVERIFY(qAbs(outer.red() - brand.red()) <= 3 && qAbs(outer.green() - brand.green()) <= 3
            && qAbs(outer.blue() - brand.blue()) <= 3);
    QVERIFY(unselected.pixelColor(1, 18).alpha() < 200);
    QCOMPARE(unselected.pixelColor(18, 18).name(QColor::HexRgb).toUpper(),
             UI::Theme::paletteById(u"pink"_s).brand);

    const QList<QLabel *> labels = view.findChildren<QLabel *>();
    int glyphs = 0;
    for (const QLabel *label : labels) {
        const QString glyph = label->property("glyph").toString();
        if (glyph.isEmpty())
            continue;
        ++glyphs;
        QCOMPARE(label->pixmap().toImage(),
                 UI::Theme::icon(glyph, UI::Theme::paletteById(u"black"_s).brand, 13)
                         .pixmap(13, 13)
                         .toImage());
    }
    QCOMPARE(glyphs, 5);
    UI::Theme::applyPalette(*qApp, u"pink"_s);
}

CLOCKWARDEN_TEST_MAIN(TestSettingsViewUpdate)
#include "tst_settingsview_update.moc"
