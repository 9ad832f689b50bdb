#include "SessionManagerFixture.h"
#include "TestEnvironment.h"

#include "core/AppStateManager.h"
#include "core/SessionManager.h"
#include "services/tracking/PermissionService.h"
#include "storage/Preferences.h"
#include "ui/main/TrackerView.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>

using namespace Qt::StringLiterals;
using Core::AppStateManager;
using Endpoint = SessionManagerFixture::Endpoint;
using UI::TrackerView;

namespace {

const QDateTime t0 = QDateTime::fromString(u"2025-03-01T09:00:00.000Z"_s, Qt::ISODateWithMs);

Models::RemoteConfig companyConfig()
{
    Models::RemoteConfig config;
    config.projects = { { u"p1"_s, u"Design"_s }, { u"p2"_s, u"Review"_s } };
    return config;
}

Models::Session leftOpen(const QDateTime &start)
{
    Models::Session session;
    session.id = QUuid::createUuid();
    session.deviceId = Storage::deviceId();
    session.projectId = u"p1"_s;
    session.projectName = u"Design"_s;
    session.intervals = { Models::Interval(QUuid::createUuid(), start, std::nullopt) };
    return session;
}

QImage statusImage(bool granted)
{
    return UI::Theme::icon(granted ? u"check-circle"_s : u"xmark-circle"_s,
                           granted ? UI::Theme::greenColor : UI::Theme::dangerColor, 16)
            .pixmap(16, 16)
            .toImage();
}

// A shown view with the pieces the tests look at.
struct ViewUnderTest
{
    explicit ViewUnderTest(Core::SessionManager &engine)
        : view(engine)
    {
        view.resize(460, 640);
        view.show();
        stack = view.findChild<QStackedWidget *>();
        start = view.findChild<QPushButton *>(u"Tracker_PrimaryButton"_s);
        picker = view.findChild<QComboBox *>(u"Tracker_TaskPicker"_s);
        status = view.findChild<QLabel *>(u"Tracker_StatusLabel"_s);
        notice = view.findChild<QWidget *>(u"Tracker_CrossedMidnightNotice"_s);
    }

    QString page() const { return stack->currentWidget()->objectName(); }
    template<typename T>
    T *child(const QString &name) const
    {
        return view.findChild<T *>(name);
    }

    TrackerView view;
    QStackedWidget *stack = nullptr;
    QPushButton *start = nullptr;
    QComboBox *picker = nullptr;
    QLabel *status = nullptr;
    QWidget *notice = nullptr;
};

} // namespace

class TestTrackerView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void relativeStartTimes_data();
    void relativeStartTimes();
    void permissionsPageWinsOverTracking();
    void unfinishedSessionWaitsForPermissionsThenShows();
    void resumeContinuesTheUnfinishedSession();
    void taskNamesAreLiteral_data();
    void taskNamesAreLiteral();
    void startNeedsConfigurationAndNoForcedUpdate_data();
    void startNeedsConfigurationAndNoForcedUpdate();
    void refusalShowsTheEnginesMessage();
    void startUsesThePickedTaskAndStopEndsTheSession();
    void pickerRebuildKeepsAStaleSelection();
    void laterHidesTheMidnightNoticeAtOnce();
    void midnightNoticeIsOneStripLinedUpWithTheCards();
    void startNewSessionRestartsTheOfferedTask();
    void paletteChangeRepaintsTheIconDiscs();
    void shrunkGreetingKeepsTwoLinesAcrossPaletteChanges();
};

void TestTrackerView::init()
{
    AppStateManager::instance().resetForSignOut();
    AppStateManager::instance().setHasRequiredPermissions(true);
}

void TestTrackerView::cleanup()
{
    Services::PermissionService::instance().setScreenCapturer(nullptr);
    Services::PermissionService::instance().setInputMonitor(nullptr);
    AppStateManager::instance().resetForSignOut();
}

void TestTrackerView::relativeStartTimes_data()
{
    QTest::addColumn<int>("secondsAgo");
    QTest::addColumn<QString>("expected");

    QTest::newRow("in the future") << -300 << u"just now"_s;
    QTest::newRow("59 s") << 59 << u"just now"_s;
    QTest::newRow("60 s") << 60 << u"1m ago"_s;
    QTest::newRow("3599 s") << 3599 << u"59m ago"_s;
    QTest::newRow("3600 s") << 3600 << u"1h ago"_s;
    QTest::newRow("86399 s") << 86399 << u"23h ago"_s;
    QTest::newRow("86400 s") << 86400 << u"1d ago"_s;
    QTest::newRow("ten days") << 864000 << u"10d ago"_s;
}

void TestTrackerView::relativeStartTimes()
{
    QFETCH(int, secondsAgo);
    QFETCH(QString, expected);
    // Sub-second parts must not round a boundary up.
    const QDateTime now = t0.addMSecs(999);
    QCOMPARE(TrackerView::relativeStartText(t0.addSecs(-secondsAgo), now), expected);
}

void TestTrackerView::permissionsPageWinsOverTracking()
{
    SessionManagerFixture fixture(t0);
    AppStateManager::instance().setRemoteConfig(companyConfig());
    fixture.engine().startTrackingWithoutProject();
    ViewUnderTest ui(fixture.engine());
    QCOMPARE(ui.page(), u"Tracker_ActivePage"_s);

    fixture.platform.capturer->available = false;
    fixture.platform.input->available = true;
    Services::PermissionService::instance().setScreenCapturer(fixture.platform.capturer.get());
    Services::PermissionService::instance().setInputMonitor(fixture.platform.input.get());
    AppStateManager::instance().refreshPermissions();
    QVERIFY(fixture.engine().isTracking());
    QCOMPARE(ui.page(), u"Tracker_PermissionsPage"_s);
    QCOMPARE(ui.child<QLabel>(u"Tracker_ScreenRecordingStatus"_s)->pixmap().toImage(),
             statusImage(false));
    QCOMPARE(ui.child<QLabel>(u"Tracker_InputMonitoringStatus"_s)->pixmap().toImage(),
             statusImage(true));

    // "Check Again" copies the service's verdict; the page follows the flag's change.
    fixture.platform.capturer->available = true;
    QTest::mouseClick(ui.child<QPushButton>(u"Tracker_CheckAgainButton"_s), Qt::LeftButton);
    QCOMPARE(ui.page(), u"Tracker_ActivePage"_s);

    QSignalSpy tabSpy(&AppStateManager::instance(), &AppStateManager::pendingMainTabChanged);
    AppStateManager::instance().setHasRequiredPermissions(false);
    QTest::mouseClick(ui.child<QPushButton>(u"Tracker_OpenSettingsButton"_s), Qt::LeftButton);
    QCOMPARE(tabSpy.count(), 1);
    QCOMPARE(AppStateManager::instance().pendingMainTab(), std::optional(3));
}

void TestTrackerView::unfinishedSessionWaitsForPermissionsThenShows()
{
    SessionManagerFixture fixture(t0, Endpoint::Stored);
    fixture.store->saveActiveSession(leftOpen(t0.addSecs(-5 * 60 - 30)));
    fixture.restartEngine();
    QVERIFY(fixture.engine().interruptedSession());

    AppStateManager::instance().setHasRequiredPermissions(false);
    ViewUnderTest ui(fixture.engine());
    QCOMPARE(ui.page(), u"Tracker_PermissionsPage"_s);

    AppStateManager::instance().setHasRequiredPermissions(true);
    QCOMPARE(ui.page(), u"Tracker_InterruptedPage"_s);
    QCOMPARE(ui.child<QLabel>(u"InterruptedSession_ProjectLabel"_s)->text(), u"Design"_s);
    QCOMPARE(ui.child<QLabel>(u"InterruptedSession_StartedLabel"_s)->text(), u"Started 5m ago"_s);
}

void TestTrackerView::resumeContinuesTheUnfinishedSession()
{
    SessionManagerFixture fixture(t0, Endpoint::Stored);
    const Models::Session seeded = leftOpen(t0.addSecs(-600));
    fixture.store->saveActiveSession(seeded);
    fixture.restartEngine();
    ViewUnderTest ui(fixture.engine());
    QCOMPARE(ui.page(), u"Tracker_InterruptedPage"_s);

    QTest::mouseClick(ui.child<QPushButton>(u"InterruptedSession_ResumeButton"_s), Qt::LeftButton);
    QCOMPARE(fixture.engine().activeSession()->id, seeded.id);
    QCOMPARE(ui.page(), u"Tracker_ActivePage"_s);
    QCOMPARE(ui.child<QLabel>(u"Tracker_TaskLabel"_s)->text(), u"Design"_s);
}

void TestTrackerView::taskNamesAreLiteral_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<qint64>("openFor"); // seconds; overnight shows the midnight notice

    const QString image = u"<img src=\"face.png\">Design"_s;
    QTest::newRow("bold tag") << u"<b>Design</b>"_s << qint64(600);
    QTest::newRow("image tag") << image << qint64(600);
    QTest::newRow("bold tag, overnight") << u"<b>Design</b>"_s << qint64(14 * 3600);
    QTest::newRow("image tag, overnight") << image << qint64(14 * 3600);
}

void TestTrackerView::taskNamesAreLiteral()
{
    QFETCH(QString, task);
    QFETCH(qint64, openFor);

    SessionManagerFixture fixture(t0, Endpoint::Stored);
    Models::Session seeded = leftOpen(t0.addSecs(-openFor));
    seeded.projectName = task;
    fixture.store->saveActiveSession(seeded);
    fixture.restartEngine();
    ViewUnderTest ui(fixture.engine());
    QCOMPARE(ui.page(), u"Tracker_InterruptedPage"_s);
    auto *card = ui.child<QLabel>(u"InterruptedSession_ProjectLabel"_s);
    QCOMPARE(card->text(), task);
    QCOMPARE(card->textFormat(), Qt::PlainText);

    bool sawNotice = false;
    connect(&fixture.engine(), &Core::SessionManager::crossDayDetected, this, [&] {
        auto *detail = ui.child<QLabel>(u"Tracker_NoticeDetailLabel"_s);
        sawNotice = detail->text() == u"Task: %1"_s.arg(task)
                    && detail->textFormat() == Qt::PlainText;
    });
    QTest::mouseClick(ui.child<QPushButton>(u"InterruptedSession_ResumeButton"_s), Qt::LeftButton);
    if (openFor > 12 * 3600) {
        QVERIFY(sawNotice);
        return;
    }
    QCOMPARE(ui.page(), u"Tracker_ActivePage"_s);
    auto *taskLabel = ui.child<QLabel>(u"Tracker_TaskLabel"_s);
    QCOMPARE(taskLabel->text(), task);
    QCOMPARE(taskLabel->textFormat(), Qt::PlainText);
}

void TestTrackerView::startNeedsConfigurationAndNoForcedUpdate_data()
{
    QTest::addColumn<bool>("configured");
    QTest::addColumn<bool>("forced");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("no configuration yet") << false << false << false;
    QTest::newRow("configured") << true << false << true;
    QTest::newRow("update forced") << true << true << false;
}

void TestTrackerView::startNeedsConfigurationAndNoForcedUpdate()
{
    QFETCH(bool, configured);
    QFETCH(bool, forced);
    QFETCH(bool, enabled);
    SessionManagerFixture fixture(t0);
    ViewUnderTest ui(fixture.engine());
    if (configured) {
        Models::RemoteConfig config = companyConfig();
        if (forced)
            config.latestClientVersionLinux = u"99.0"_s;
        AppStateManager::instance().setRemoteConfig(config);
    }
    QCOMPARE(ui.page(), u"Tracker_StartPage"_s);
    QCOMPARE(ui.start->isEnabled(), enabled);
}

void TestTrackerView::refusalShowsTheEnginesMessage()
{
    SessionManagerFixture fixture(t0);
    ViewUnderTest ui(fixture.engine());
    QVERIFY(ui.status->isHidden());

    fixture.platform.capturer->available = false;
    Services::PermissionService::instance().setScreenCapturer(fixture.platform.capturer.get());
    fixture.engine().startTrackingWithoutProject();
    QVERIFY(!fixture.engine().isTracking());
    QCOMPARE(ui.status->text(), u"\u2139 Required permissions are not granted."_s);
    QVERIFY(ui.status->isVisible());
}

void TestTrackerView::startUsesThePickedTaskAndStopEndsTheSession()
{
    SessionManagerFixture fixture(t0);
    AppStateManager::instance().setRemoteConfig(companyConfig());
    ViewUnderTest ui(fixture.engine());
    QCOMPARE(ui.picker->count(), 3);
    QCOMPARE(ui.picker->itemText(0), u"No task"_s);
    QCOMPARE(ui.picker->itemText(2), u"Review"_s);
    QCOMPARE(ui.picker->accessibleName(), u"Task"_s);

    ui.picker->setCurrentIndex(2);
    QCOMPARE(fixture.engine().selectedProjectId(), u"p2"_s);
    QTest::mouseClick(ui.start, Qt::LeftButton);
    QCOMPARE(fixture.engine().activeSession()->projectName, u"Review"_s);
    QCOMPARE(ui.page(), u"Tracker_ActivePage"_s);
    QCOMPARE(ui.child<QLabel>(u"Tracker_TaskLabel"_s)->text(), u"Review"_s);

    QTest::mouseClick(ui.child<QPushButton>(u"Tracker_StopButton"_s), Qt::LeftButton);
    QVERIFY(!fixture.engine().isTracking());
    QCOMPARE(ui.page(), u"Tracker_StartPage"_s);
    QCOMPARE(ui.status->text(), u"\u2139 Tracking stopped: Session ended"_s);
    QVERIFY(ui.status->isVisible());

    // "No task" clears the selection.
    ui.picker->setCurrentIndex(0);
    QCOMPARE(fixture.engine().selectedProjectId(), QString());
}

void TestTrackerView::pickerRebuildKeepsAStaleSelection()
{
    SessionManagerFixture fixture(t0);
    AppStateManager::instance().setRemoteConfig(companyConfig());
    ViewUnderTest ui(fixture.engine());
    fixture.engine().setSelectedProjectId(u"p2"_s);

    Models::RemoteConfig shrunk;
    shrunk.projects = { { u"p1"_s, u"Design"_s } };
    QSignalSpy spy(&fixture.engine(), &Core::SessionManager::stateChanged);
    AppStateManager::instance().setRemoteConfig(shrunk);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(ui.picker->count(), 2);
    QCOMPARE(ui.picker->currentIndex(), 0);
    QCOMPARE(fixture.engine().selectedProjectId(), u"p2"_s);

    // The selection is kept but matches nothing: Start starts without a task.
    QTest::mouseClick(ui.start, Qt::LeftButton);
    QVERIFY(fixture.engine().isTracking());
    QCOMPARE(fixture.engine().activeSession()->projectId, QString());

    // A rebuild with a matching selection selects it, still without reaching the engine.
    fixture.engine().stopTracking(u"Session ended"_s);
    fixture.engine().setSelectedProjectId(u"p1"_s);
    spy.clear();
    AppStateManager::instance().setRemoteConfig(companyConfig());
    QCOMPARE(ui.picker->currentText(), u"Design"_s);
    QCOMPARE(spy.count(), 0);
}

void TestTrackerView::midnightNoticeIsOneStripLinedUpWithTheCards()
{
    // The application sheet, as the program sets it; the tests after this one run without.
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    UI::Theme::applyPalette(*app, u"pink"_s);
    const auto withoutSheet = qScopeGuard([app] { app->setStyleSheet(QString()); });
    SessionManagerFixture fixture(t0, Endpoint::Stored);
    fixture.store->saveActiveSession(leftOpen(t0.addSecs(-14 * 3600)));
    fixture.restartEngine();
    ViewUnderTest ui(fixture.engine());
    QVERIFY(QTest::qWaitForWindowExposed(&ui.view));

    bool looked = false;
    // The notice shows while the engine announces the day change.
    connect(&fixture.engine(), &Core::SessionManager::crossDayDetected, this, [&] {
        QVERIFY(ui.notice->isVisible());
        QWidget *page = ui.stack->currentWidget();
        ui.view.layout()->activate();
        page->layout()->activate();
        const QWidget *card = page->layout()->itemAt(0)->widget();
        QVERIFY(card != nullptr);
        const QRect noticeRect(ui.notice->mapTo(&ui.view, QPoint()), ui.notice->size());
        const QRect cardRect(card->mapTo(&ui.view, QPoint()), card->size());
        QCOMPARE(noticeRect.left(), cardRect.left());
        QCOMPARE(noticeRect.right(), cardRect.right());

        // One amber strip: inside the title's label the strip's own colour, not a second coat;
        // the buttons keep their own fill.
        const QImage strip = ui.notice->grab().toImage();
        const QColor amber = strip.pixelColor(4, strip.height() / 2);
        QLabel *title = nullptr;
        for (QLabel *label : ui.notice->findChildren<QLabel *>()) {
            if (label->text() == u"Session crossed midnight"_s)
                title = label;
        }
        QVERIFY(title != nullptr);
        const QPoint besideTitle(title->geometry().right() - 2, title->geometry().center().y());
        QCOMPARE(strip.pixelColor(besideTitle), amber);
        const auto *later = ui.child<QPushButton>(u"Tracker_LaterButton"_s);
        const QPoint insideLater = later->geometry().topLeft() + QPoint(4, later->height() / 2);
        QCOMPARE(strip.pixelColor(insideLater).name(),
                 QColor::fromString(UI::Theme::currentPalette().surface).name());
        looked = true;
    });
    fixture.engine().resumeInterruptedSession();
    QVERIFY(looked);
}

void TestTrackerView::laterHidesTheMidnightNoticeAtOnce()
{
    // A session left open since yesterday evening completes at midnight when resumed; the offer
    // stands while the engine announces the day change.
    SessionManagerFixture fixture(t0, Endpoint::Stored);
    fixture.store->saveActiveSession(leftOpen(t0.addSecs(-14 * 3600)));
    fixture.restartEngine();
    ViewUnderTest ui(fixture.engine());
    QVERIFY(ui.notice->isHidden());

    bool sawNotice = false;
    connect(&fixture.engine(), &Core::SessionManager::crossDayDetected, this, [&] {
        sawNotice = ui.notice->isVisible();
        QCOMPARE(ui.child<QLabel>(u"Tracker_NoticeDetailLabel"_s)->text(), u"Task: Design"_s);
        QTest::mouseClick(ui.child<QPushButton>(u"Tracker_LaterButton"_s), Qt::LeftButton);
        QVERIFY(ui.notice->isHidden());
        QCOMPARE(fixture.engine().midnightResumeOffer(), std::nullopt);
    });
    fixture.engine().resumeInterruptedSession();
    QVERIFY(sawNotice);
    QVERIFY(ui.notice->isHidden());
}

void TestTrackerView::startNewSessionRestartsTheOfferedTask()
{
    SessionManagerFixture fixture(t0, Endpoint::Stored);
    const Models::Session seeded = leftOpen(t0.addSecs(-14 * 3600));
    fixture.store->saveActiveSession(seeded);
    fixture.restartEngine();
    ViewUnderTest ui(fixture.engine());

    std::optional<Models::Session> started;
    connect(&fixture.engine(), &Core::SessionManager::crossDayDetected, this, [&] {
        QTest::mouseClick(ui.child<QPushButton>(u"Tracker_StartNewSessionButton"_s),
                          Qt::LeftButton);
        started = fixture.engine().activeSession();
        QVERIFY(ui.notice->isHidden());
    });
    fixture.engine().resumeInterruptedSession();
    QVERIFY(started);
    QVERIFY(started->id != seeded.id);
    QCOMPARE(started->projectId, u"p1"_s);
    QCOMPARE(ui.page(), u"Tracker_ActivePage"_s);

    // Without an offer the button only dismisses and refreshes.
    fixture.engine().stopTracking(u"Session ended"_s);
    QTest::mouseClick(ui.child<QPushButton>(u"Tracker_StartNewSessionButton"_s), Qt::LeftButton);
    QVERIFY(!fixture.engine().isTracking());
}

void TestTrackerView::paletteChangeRepaintsTheIconDiscs()
{
    SessionManagerFixture fixture(t0);
    ViewUnderTest ui(fixture.engine());
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    const QString before = UI::Theme::brandColor;
    UI::Theme::applyPalette(*app, u"black"_s);
    QVERIFY(UI::Theme::brandColor != before);
    int discs = 0;
    for (QLabel *label : ui.view.findChildren<QLabel *>()) {
        const QVariant glyph = label->property("glyph");
        if (!glyph.isValid())
            continue;
        ++discs;
        QCOMPARE(label->pixmap().toImage(),
                 UI::Theme::icon(glyph.toString(), UI::Theme::brandColor, 18)
                         .pixmap(18, 18)
                         .toImage());
    }
    QCOMPARE(discs, 2);
}

void TestTrackerView::shrunkGreetingKeepsTwoLinesAcrossPaletteChanges()
{
    // A new sheet, or a new parent, polishes the label again with the size it was built with; the
    // greeting shrunk to fit two lines then took three, its last line cut off.
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    UI::Theme::applyPalette(*app, u"pink"_s);
    const auto withoutSheet = qScopeGuard([app] { app->setStyleSheet(QString()); });
    SessionManagerFixture fixture(t0);
    const auto drawnLines = [](const QLabel *label) {
        return label->heightForWidth(label->contentsRect().width())
               / label->fontMetrics().lineSpacing();
    };
    // The greeting is chosen at random: views are made until one had to shrink its greeting.
    for (int made = 0; made < 400; ++made) {
        ViewUnderTest ui(fixture.engine());
        auto *greeting = ui.child<QLabel>(u"Tracker_GreetingLabel"_s);
        QVERIFY(QTest::qWaitForWindowExposed(&ui.view));
        const qreal fitted = greeting->font().pointSizeF();
        QCOMPARE_LE(drawnLines(greeting), 2);
        if (fitted >= QApplication::font().pointSizeF() + 6)
            continue;

        for (const QString &palette : { u"black"_s, u"teal"_s, u"pink"_s }) {
            UI::Theme::applyPalette(*app, palette);
            QCOMPARE(greeting->font().pointSizeF(), fitted);
            QCOMPARE_LE(drawnLines(greeting), 2);
        }
        // The window puts the view into its tabs after building it.
        QTabWidget tabs;
        tabs.addTab(&ui.view, u"Tracker"_s);
        const auto giveBack = qScopeGuard([&] {
            tabs.removeTab(0);
            ui.view.setParent(nullptr);
        });
        tabs.resize(480, 700);
        tabs.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tabs));
        QCOMPARE(greeting->contentsRect().width(), 185);
        QCOMPARE(greeting->font().pointSizeF(), fitted);
        QCOMPARE_LE(drawnLines(greeting), 2);
        return;
    }
    QFAIL("no view had to shrink its greeting");
}

CLOCKWARDEN_TEST_MAIN(TestTrackerView)
#include "tst_trackerview.moc"
