#include "TestEnvironment.h"

#include "core/AppStateManager.h"
#include "ui/main/ForceUpdateView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

const QString kNoLinkTip
        = u"No download link was provided \u2014 please contact your administrator."_s;

void applyConfig(const std::optional<QString> &latest, const std::optional<QString> &url)
{
    Models::RemoteConfig config;
    config.latestClientVersionLinux = latest;
    config.clientDownloadUrlLinux = url;
    Core::AppStateManager::instance().setRemoteConfig(config);
}

} // namespace

// Stands in for the desktop's browser.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class TestForceUpdateView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void refreshShowsVersionAndLink_data();
    void refreshShowsVersionAndLink();
    void clickOpensTheLinkOnce();
    void disabledButtonOpensNothing();
    void opensOnlyWebAddresses_data();
    void opensOnlyWebAddresses();
    void refreshFollowsANewConfiguration();

private:
    UrlRecorder m_browser;
};

void TestForceUpdateView::init()
{
    Core::AppStateManager::instance().resetForSignOut();
    m_browser.opened.clear();
    QDesktopServices::setUrlHandler(u"https"_s, &m_browser, "open");
}

void TestForceUpdateView::cleanup()
{
    QDesktopServices::unsetUrlHandler(u"https"_s);
    Core::AppStateManager::instance().resetForSignOut();
}

void TestForceUpdateView::refreshShowsVersionAndLink_data()
{
    QTest::addColumn<std::optional<QString>>("latest");
    QTest::addColumn<std::optional<QString>>("url");
    QTest::addColumn<QString>("versionText");
    QTest::addColumn<bool>("enabled");

    // The state holder keeps no download address without a version, so that pair cannot occur.
    QTest::newRow("version and link")
            << std::optional(u"9.9.9"_s) << std::optional(u"https://dl.example/app.AppImage"_s)
            << u"Latest version: 9.9.9"_s << true;
    QTest::newRow("version without link") << std::optional(u"9.9.9"_s) << std::optional<QString>()
                                          << u"Latest version: 9.9.9"_s << false;
    QTest::newRow("version with an empty link")
            << std::optional(u"9.9.9"_s) << std::optional(QString()) << u"Latest version: 9.9.9"_s
            << false;
    // The version comes from the server: markup in it stays literal.
    QTest::newRow("bold tag") << std::optional(u"<b>9.9.9</b>"_s) << std::optional<QString>()
                              << u"Latest version: <b>9.9.9</b>"_s << false;
    QTest::newRow("image tag") << std::optional(u"<img src=\"face.png\">"_s)
                               << std::optional<QString>()
                               << u"Latest version: <img src=\"face.png\">"_s << false;
    QTest::newRow("no version, no link")
            << std::optional<QString>() << std::optional<QString>() << QString() << false;
}

void TestForceUpdateView::refreshShowsVersionAndLink()
{
    QFETCH(std::optional<QString>, latest);
    QFETCH(std::optional<QString>, url);
    QFETCH(QString, versionText);
    QFETCH(bool, enabled);
    applyConfig(latest, url);
    UI::ForceUpdateView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.objectName(), u"ForceUpdate_Window"_s);

    auto *version = view.findChild<QLabel *>(u"ForceUpdate_VersionLabel"_s);
    auto *button = view.findChild<QPushButton *>(u"ForceUpdate_DownloadButton"_s);
    QVERIFY(version && button);
    QCOMPARE(version->text(), versionText);
    QCOMPARE(version->textFormat(), Qt::PlainText);
    QCOMPARE(version->isVisible(), !versionText.isEmpty());
    QCOMPARE(button->text(), u"Update Now"_s);
    QCOMPARE(button->isEnabled(), enabled);
    QCOMPARE(button->toolTip(), enabled ? QString() : kNoLinkTip);
}

void TestForceUpdateView::clickOpensTheLinkOnce()
{
    applyConfig(u"9.9.9"_s, u"https://dl.example/app.AppImage"_s);
    UI::ForceUpdateView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto *button = view.findChild<QPushButton *>(u"ForceUpdate_DownloadButton"_s);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(m_browser.opened, QList<QUrl>{ QUrl(u"https://dl.example/app.AppImage"_s) });
}

void TestForceUpdateView::disabledButtonOpensNothing()
{
    applyConfig(u"9.9.9"_s, std::nullopt);
    UI::ForceUpdateView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto *button = view.findChild<QPushButton *>(u"ForceUpdate_DownloadButton"_s);
    QTest::mouseClick(button, Qt::LeftButton);
    view.openDownloadLink();
    QVERIFY(m_browser.opened.isEmpty());
}

void TestForceUpdateView::opensOnlyWebAddresses_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("opened");
    QTest::newRow("http") << u"http://dl.example/app.AppImage"_s << true;
    QTest::newRow("local file") << u"file:///etc/passwd"_s << false;
    QTest::newRow("network share") << u"smb://dl.example/app.AppImage"_s << false;
    QTest::newRow("desktop entry scheme") << u"appstream://app.desktop"_s << false;
}

void TestForceUpdateView::opensOnlyWebAddresses()
{
    QFETCH(QString, url);
    QFETCH(bool, opened);
    const QString scheme = QUrl(url).scheme();
    QDesktopServices::setUrlHandler(scheme, &m_browser, "open");
    applyConfig(u"9.9.9"_s, url);
    UI::ForceUpdateView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto *button = view.findChild<QPushButton *>(u"ForceUpdate_DownloadButton"_s);

    QCOMPARE(button->isEnabled(), opened);
    view.openDownloadLink();
    QDesktopServices::unsetUrlHandler(scheme);
    QCOMPARE(m_browser.opened, opened ? QList<QUrl>{ QUrl(url) } : QList<QUrl>());
}

void TestForceUpdateView::refreshFollowsANewConfiguration()
{
    applyConfig(u"9.9.9"_s, std::nullopt);
    UI::ForceUpdateView view;
    auto *version = view.findChild<QLabel *>(u"ForceUpdate_VersionLabel"_s);
    auto *button = view.findChild<QPushButton *>(u"ForceUpdate_DownloadButton"_s);
    applyConfig(u"10.0.0"_s, u"https://dl.example/new"_s);
    // Shown as it was until the window selects the page again.
    QCOMPARE(version->text(), u"Latest version: 9.9.9"_s);
    view.refresh();
    QCOMPARE(version->text(), u"Latest version: 10.0.0"_s);
    QVERIFY(button->isEnabled());
    QVERIFY(button->toolTip().isEmpty());
}

CLOCKWARDEN_TEST_MAIN(TestForceUpdateView)
#include "tst_forceupdateview.moc"
