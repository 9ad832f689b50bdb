#include "EventCounter.h"
#include "SessionManagerFixture.h"
#include "TestEnvironment.h"

#include "core/AppStateManager.h"
#include "core/SessionManager.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"
#include "ui/main/TrackerView.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/HoverFlip.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <limits>

using namespace Qt::StringLiterals;
using UI::TrackerView;

namespace {

// The paused clock: white faded as far as the palette's banner lets it (tst_contrast checks it).
QString pausedClockSheet()
{
    const QColor faded = UI::Theme::bannerColours(UI::Theme::currentPalette()).pausedClock;
    return u"color: rgba(255,255,255,%1);"_s.arg(faded.alphaF(), 0, 'f', 2);
}

const QDateTime t0 = QDateTime::fromString(u"2025-03-01T09:00:00.000Z"_s, Qt::ISODateWithMs);
const QString kTargetKey = u"dailyTargetSeconds"_s;

QSpinBox *spinBox(QWidget *dialog, const QString &accessibleName)
{
    for (QSpinBox *box : dialog->findChildren<QSpinBox *>()) {
        if (box->accessibleName() == accessibleName)
            return box;
    }
    return nullptr;
}

QPushButton *button(QWidget *dialog, const QString &text)
{
    for (QPushButton *candidate : dialog->findChildren<QPushButton *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

// Runs answer on the modal dialog once it is open; trigger opens it and returns when it closed.
bool answerDialog(const std::function<void()> &trigger,
                  const std::function<void(QDialog *)> &answer)
{
    bool answered = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        answered = true;
        answer(dialog);
    });
    poll.start();
    trigger();
    return answered;
}

QVariant storedTarget()
{
    // A fresh reader of the file, not the program's cached store.
    QSettings file(Platform::Paths::configDir() + u"/preferences.ini"_s, QSettings::IniFormat);
    return file.value(kTargetKey);
}

struct ActiveView
{
    explicit ActiveView(Core::SessionManager &engine)
        : view(engine)
    {
        view.resize(460, 640);
        view.show();
        timer = view.findChild<QLabel *>(u"Tracker_TimerLabel"_s);
        progressLine = view.findChild<QLabel *>(u"Tracker_ProgressLineLabel"_s);
        percentChip = view.findChild<QLabel *>(u"Tracker_PercentChip"_s);
        ratioChip = view.findChild<QLabel *>(u"Tracker_RatioChip"_s);
        target = view.findChild<QLabel *>(u"Tracker_TargetLabel"_s);
        activity = view.findChild<QLabel *>(u"Tracker_ActivityPercentLabel"_s);
        bar = view.findChild<QProgressBar *>();
        pauseResume = view.findChild<QPushButton *>(u"Tracker_PauseResumeButton"_s);
        setTarget = view.findChild<QPushButton *>(u"Tracker_SetTargetButton"_s);
        flip = view.findChild<UI::HoverFlip *>(u"TrackerProgressFlip"_s);
    }

    TrackerView view;
    QLabel *timer = nullptr;
    QLabel *progressLine = nullptr;
    QLabel *percentChip = nullptr;
    QLabel *ratioChip = nullptr;
    QLabel *target = nullptr;
    QLabel *activity = nullptr;
    QProgressBar *bar = nullptr;
    QPushButton *pauseResume = nullptr;
    QPushButton *setTarget = nullptr;
    UI::HoverFlip *flip = nullptr;
};

} // namespace

class TestTrackerViewActive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void formatHms_data();
    void formatHms();
    void formatHm_data();
    void formatHm();
    void targetLabelText_data();
    void targetLabelText();
    void progressPercent_data();
    void progressPercent();
    void targetSeconds_data();
    void targetSeconds();
    void showsTodaysTotalAndProgress();
    void pauseDimsTheClockAndOffersResume();
    void ticksChangeTextsNotStyles();
    void hiddenViewCatchesUpWhenShown();
    void storedTargetOpensTheDialog_data();
    void storedTargetOpensTheDialog();
    void saveWritesThePreference();
    void cancelChangesNothing();
    void keyboardOnTheCardOpensTheDialog();
    void nonNumericTargetCountsAsZero();
};

void TestTrackerViewActive::init()
{
    Core::AppStateManager::instance().resetForSignOut();
    Core::AppStateManager::instance().setHasRequiredPermissions(true);
    Storage::Preferences::instance().remove(kTargetKey);
}

void TestTrackerViewActive::cleanup()
{
    Storage::Preferences::instance().remove(kTargetKey);
}

void TestTrackerViewActive::formatHms_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0.0 << u"00:00:00"_s;
    QTest::newRow("59.9 truncates") << 59.9 << u"00:00:59"_s;
    QTest::newRow("3661") << 3661.0 << u"01:01:01"_s;
    QTest::newRow("hundred hours") << 360000.0 << u"100:00:00"_s;
}

void TestTrackerViewActive::formatHms()
{
    QFETCH(double, seconds);
    QFETCH(QString, expected);
    QCOMPARE(TrackerView::formatHms(seconds), expected);
}

void TestTrackerViewActive::formatHm_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("negative") << -90.0 << u"00:00"_s;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << u"00:00"_s;
    QTest::newRow("59 s") << 59.0 << u"00:00"_s;
    QTest::newRow("8 h 30 m") << 30600.0 << u"08:30"_s;
}

void TestTrackerViewActive::formatHm()
{
    QFETCH(double, seconds);
    QFETCH(QString, expected);
    QCOMPARE(TrackerView::formatHm(seconds), expected);
}

void TestTrackerViewActive::targetLabelText_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("expected");
    QTest::newRow("eight hours") << 28800 << u"Target: 8 work hours"_s;
    QTest::newRow("8 h 30 m") << 30600 << u"Target: 8h 30m of work"_s;
    QTest::newRow("zero") << 0 << u"Target: 0 work hours"_s;
    QTest::newRow("5 minutes") << 300 << u"Target: 0h 5m of work"_s;
}

void TestTrackerViewActive::targetLabelText()
{
    QFETCH(int, target);
    QFETCH(QString, expected);
    QCOMPARE(TrackerView::targetLabelText(target), expected);
}

void TestTrackerViewActive::progressPercent_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<double>("worked");
    QTest::addColumn<int>("expected");
    QTest::newRow("nothing worked") << 28800 << 0.0 << 0;
    QTest::newRow("one second short") << 28800 << 28799.0 << 99;
    QTest::newRow("reached") << 28800 << 28800.0 << 100;
    QTest::newRow("beyond") << 28800 << 40000.0 << 100;
    QTest::newRow("zero target") << 0 << 5.0 << 100;
    QTest::newRow("negative worked") << 28800 << -5.0 << 0;
    QTest::newRow("not a number") << 28800 << std::numeric_limits<double>::quiet_NaN() << 0;
}

void TestTrackerViewActive::progressPercent()
{
    QFETCH(int, target);
    QFETCH(double, worked);
    QFETCH(int, expected);
    QCOMPARE(TrackerView::progressPercent(target, worked), expected);
}

void TestTrackerViewActive::targetSeconds_data()
{
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("expected");
    QTest::newRow("nothing gives eight hours") << 0 << 0 << 28800;
    QTest::newRow("beyond a day") << 24 << 55 << 89700;
    QTest::newRow("8 h 30 m") << 8 << 30 << 30600;
}

void TestTrackerViewActive::targetSeconds()
{
    QFETCH(int, hours);
    QFETCH(int, minutes);
    QFETCH(int, expected);
    QCOMPARE(TrackerView::targetSeconds(hours, minutes), expected);
}

void TestTrackerViewActive::showsTodaysTotalAndProgress()
{
    SessionManagerFixture fixture(t0);
    fixture.engine().startTrackingWithoutProject();
    ActiveView ui(fixture.engine());
    QCOMPARE(ui.timer->text(), u"00:00:00"_s);
    QCOMPARE(ui.progressLine->text(), u"Let's get started"_s);
    QCOMPARE(ui.percentChip->text(), u"0%"_s);
    QCOMPARE(ui.ratioChip->text(), u"00:00 / 08:00"_s);
    QCOMPARE(ui.target->text(), u"Target: 8 work hours"_s);
    QCOMPARE(ui.bar->value(), 0);
    QCOMPARE(ui.activity->text(), u"\u2013"_s);
    QVERIFY(ui.view.findChild<QLabel *>(u"Tracker_TaskLabel"_s)->isHidden());
    QVERIFY(ui.timer->minimumWidth() > 0);

    for (int i = 0; i < 65; ++i)
        fixture.tick();
    QCOMPARE(ui.timer->text(), u"00:01:05"_s);
    QVERIFY2(ui.progressLine->text().startsWith(u"1 minute "_s),
             qPrintable(ui.progressLine->text()));
    QCOMPARE(ui.ratioChip->text(), u"00:01 / 08:00"_s);

    // The clock shows the day's total: a second session goes on from the first one's time.
    fixture.engine().stopTracking(u"Session ended"_s);
    fixture.engine().startTrackingWithoutProject();
    fixture.tick();
    QCOMPARE(ui.timer->text(), u"00:01:06"_s);
}

void TestTrackerViewActive::pauseDimsTheClockAndOffersResume()
{
    SessionManagerFixture fixture(t0);
    fixture.engine().startTrackingWithoutProject();
    ActiveView ui(fixture.engine());
    QCOMPARE(ui.pauseResume->text(), u"Pause"_s);
    QCOMPARE(ui.timer->styleSheet(), u"color: #ffffff;"_s);

    QTest::mouseClick(ui.pauseResume, Qt::LeftButton);
    QVERIFY(fixture.engine().isPaused());
    QCOMPARE(ui.pauseResume->text(), u"Resume"_s);
    QCOMPARE(ui.timer->styleSheet(), pausedClockSheet());

    QTest::mouseClick(ui.pauseResume, Qt::LeftButton);
    QVERIFY(!fixture.engine().isPaused());
    QCOMPARE(ui.pauseResume->text(), u"Pause"_s);
    QCOMPARE(ui.timer->styleSheet(), u"color: #ffffff;"_s);
}

void TestTrackerViewActive::ticksChangeTextsNotStyles()
{
    SessionManagerFixture fixture(t0);
    fixture.engine().startTrackingWithoutProject();
    ActiveView ui(fixture.engine());
    QVERIFY(QTest::qWaitForWindowExposed(&ui.view));
    const EventCounter restyled(QEvent::StyleChange,
                                { ui.timer, ui.activity, ui.progressLine, ui.pauseResume });
    const EventCounter refonted(QEvent::FontChange, { ui.progressLine });
    const qint64 pauseIcon = ui.pauseResume->icon().cacheKey();

    for (int i = 1; i <= 3; ++i) {
        fixture.tick();
        QCOMPARE(ui.timer->text(), TrackerView::formatHms(i));
    }
    QCOMPARE(restyled.count(), 0);
    QCOMPARE(refonted.count(), 0);
    QCOMPARE(ui.pauseResume->icon().cacheKey(), pauseIcon);

    // A change of state is still shown at once.
    fixture.engine().pause();
    QCOMPARE(ui.timer->styleSheet(), pausedClockSheet());
    QVERIFY(ui.pauseResume->icon().cacheKey() != pauseIcon);
}

void TestTrackerViewActive::hiddenViewCatchesUpWhenShown()
{
    SessionManagerFixture fixture(t0);
    fixture.engine().startTrackingWithoutProject();
    ActiveView ui(fixture.engine());
    ui.view.hide();
    const EventCounter restyled(QEvent::StyleChange, { ui.timer });
    for (int i = 0; i < 65; ++i)
        fixture.tick();
    fixture.engine().pause();
    // Nobody sees it: nothing was refreshed.
    QCOMPARE(ui.timer->text(), u"00:00:00"_s);
    QCOMPARE(restyled.count(), 0);

    ui.view.show();
    QCOMPARE(ui.timer->text(), u"00:01:05"_s);
    QCOMPARE(ui.timer->styleSheet(), pausedClockSheet());
    QCOMPARE(ui.pauseResume->text(), u"Resume"_s);
    QCOMPARE(ui.ratioChip->text(), u"00:01 / 08:00"_s);
}

void TestTrackerViewActive::storedTargetOpensTheDialog_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("minutes");
    QTest::newRow("8 h 30 m") << 30600 << 8 << 30;
    QTest::newRow("3599 s") << 3599 << 0 << 59;
}

void TestTrackerViewActive::storedTargetOpensTheDialog()
{
    QFETCH(int, stored);
    QFETCH(int, hours);
    QFETCH(int, minutes);
    Storage::Preferences::instance().setValue(kTargetKey, stored);
    SessionManagerFixture fixture(t0);
    fixture.engine().startTrackingWithoutProject();
    ActiveView ui(fixture.engine());
    int shownHours = -1;
    int shownMinutes = -1;
    const bool answered
            = answerDialog([&] { ui.setTarget->click(); },
                           [&](QDialog *dialog) {
                               QCOMPARE(dialog->windowTitle(), u"Daily Work Target"_s);
                               shownHours = spinBox(dialog, u"Target hours"_s)->value();
                               shownMinutes = spinBox(dialog, u"Target minutes"_s)->value();
                               QCOMPARE(spinBox(dialog, u"Target minutes"_s)->singleStep(), 5);
                               dialog->reject();
                           });
    QVERIFY(answered);
    QCOMPARE(shownHours, hours);
    QCOMPARE(shownMinutes, minutes);
}

void TestTrackerViewActive::saveWritesThePreference()
{
    SessionManagerFixture fixture(t0);
    fixture.engine().startTrackingWithoutProject();
    ActiveView ui(fixture.engine());
    QVERIFY(answerDialog([&] { ui.setTarget->click(); },
                         [](QDialog *dialog) {
                             spinBox(dialog, u"Target hours"_s)->setValue(8);
                             spinBox(dialog, u"Target minutes"_s)->setValue(30);
                             QTest::mouseClick(button(dialog, u"Save"_s), Qt::LeftButton);
                         }));
    QCOMPARE(storedTarget().toInt(), 30600);
    QCOMPARE(ui.target->text(), u"Target: 8h 30m of work"_s);
    QCOMPARE(ui.ratioChip->text(), u"00:00 / 08:30"_s);

    // Nothing at all saves the default, never zero.
    QVERIFY(answerDialog([&] { ui.setTarget->click(); },
                         [](QDialog *dialog) {
                             spinBox(dialog, u"Target hours"_s)->setValue(0);
                             spinBox(dialog, u"Target minutes"_s)->setValue(0);
                             QTest::mouseClick(button(dialog, u"Save"_s), Qt::LeftButton);
                         }));
    QCOMPARE(storedTarget().toInt(), 28800);
}

void TestTrackerViewActive::cancelChangesNothing()
{
    Storage::Preferences::instance().setValue(kTargetKey, 30600);
    SessionManagerFixture fixture(t0);
    fixture.engine().startTrackingWithoutProject();
    ActiveView ui(fixture.engine());
    QVERIFY(answerDialog([&] { ui.setTarget->click(); },
                         [](QDialog *dialog) {
                             spinBox(dialog, u"Target hours"_s)->setValue(2);
                             QTest::mouseClick(button(dialog, u"Cancel"_s), Qt::LeftButton);
                         }));
    QCOMPARE(storedTarget().toInt(), 30600);
    QCOMPARE(ui.target->text(), u"Target: 8h 30m of work"_s);
}

void TestTrackerViewActive::keyboardOnTheCardOpensTheDialog()
{
    SessionManagerFixture fixture(t0);
    fixture.engine().startTrackingWithoutProject();
    ActiveView ui(fixture.engine());
    QCOMPARE(ui.flip->focusPolicy(), Qt::StrongFocus);
    ui.flip->setFocus();
    QCOMPARE(ui.view.focusWidget(), ui.flip);
    QVERIFY(answerDialog([&] { QTest::keyClick(ui.flip, Qt::Key_Space); },
                         [](QDialog *dialog) { dialog->reject(); }));
    // The pointer is not over the card: it shows its front again.
    QVERIFY(!ui.flip->isFlipped());
}

void TestTrackerViewActive::nonNumericTargetCountsAsZero()
{
    // The stored value is used unchanged: text reads as 0, a one-second target.
    Storage::Preferences::instance().setValue(kTargetKey, u"lots"_s);
    SessionManagerFixture fixture(t0);
    fixture.engine().startTrackingWithoutProject();
    ActiveView ui(fixture.engine());
    fixture.tick();
    QCOMPARE(ui.target->text(), u"Target: 0 work hours"_s);
    QCOMPARE(ui.percentChip->text(), u"100%"_s);
    QCOMPARE(ui.ratioChip->text(), u"00:00 / 00:00"_s);
}

CLOCKWARDEN_TEST_MAIN(TestTrackerViewActive)
#include "tst_trackerview_active.moc"
