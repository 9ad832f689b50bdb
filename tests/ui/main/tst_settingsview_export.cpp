#include "FileFixtures.h"
#include "TestEnvironment.h"

#include "core/SessionManager.h"
#include "storage/Log.h"
#include "ui/main/SettingsView.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using UI::SettingsView;

namespace {

// Answers the next file dialog once it is up (Qt's own dialog: no desktop runs here). An empty
// path cancels it; with forceAccept the dialog is closed as accepted without its own check of the
// name, which would otherwise open a chosen folder instead of returning it.
class DialogAnswer final : public QObject
{
public:
    DialogAnswer(const QString &path, bool forceAccept = false)
    {
        auto *timer = new QTimer(this);
        timer->setInterval(10);
        connect(timer, &QTimer::timeout, this, [this, timer, path, forceAccept] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            timer->stop();
            suggested = dialog->selectedFiles().value(0);
            caption = dialog->windowTitle();
            if (path.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(path);
            // Both are protected in QFileDialog; the calls still reach its overrides.
            auto *base = static_cast<QDialog *>(dialog);
            if (forceAccept)
                base->done(QDialog::Accepted);
            else
                base->accept();
        });
        timer->start();
    }

    QString suggested;
    QString caption;
};

struct ViewUnderTest
{
    ViewUnderTest()
    {
        view.show();
        button = view.findChild<QPushButton *>(u"Settings_ExportLogsButton"_s);
        status = view.findChild<QLabel *>(u"Settings_ExportStatusLabel"_s);
    }

    QString exportTo(const QString &path, bool forceAccept = false)
    {
        DialogAnswer answer(path, forceAccept);
        QTest::mouseClick(button, Qt::LeftButton);
        return answer.suggested;
    }

    Core::SessionManager engine{ Core::SessionManager::TestInstance() };
    SettingsView view{ engine };
    QPushButton *button = nullptr;
    QLabel *status = nullptr;
};

} // namespace

class TestSettingsViewExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // In this order: the first runs before anything was logged.
    void emptyLogFolderFails();
    void exportRedactsTokens();
    void folderAsDestinationFails();
    void cancelKeepsTheStatus();

private:
    QTemporaryDir m_out;
};

void TestSettingsViewExport::emptyLogFolderFails()
{
    ViewUnderTest ui;
    QCOMPARE(ui.status->text(), QString());
    const QString suggested = ui.exportTo(m_out.filePath(u"log.txt"_s));
    QCOMPARE(ui.status->text(), u"Export failed: no log content found"_s);
    QVERIFY(!QFile::exists(m_out.filePath(u"log.txt"_s)));

    const QFileInfo suggestion(suggested);
    QVERIFY2(QRegularExpression(u"^tembrix-clockwarden-log-\\d{8}-\\d{6}\\.txt$"_s)
                     .match(suggestion.fileName())
                     .hasMatch(),
             qPrintable(suggested));
}

void TestSettingsViewExport::exportRedactsTokens()
{
    Core::Log::install();
    const QString token = u"abcDEF0123456789secretvalue"_s;
    Core::Log::write(Core::Log::Category::Auth, Core::Log::Level::Info,
                     u"sent Authorization: Bearer %1"_s.arg(token));
    ViewUnderTest ui;
    const QString path = m_out.filePath(u"exported.txt"_s);
    ui.exportTo(path);
    QCOMPARE(ui.status->text(), u"Saved (secrets redacted)."_s);
    const QString text = QString::fromUtf8(TestSupport::readFile(path));
    QVERIFY2(text.contains(u"sent Authorization: Bearer"_s), qPrintable(text));
    QVERIFY(!text.contains(token));
}

void TestSettingsViewExport::folderAsDestinationFails()
{
    ViewUnderTest ui;
    const QString folder = m_out.filePath(u"folder"_s);
    QVERIFY(QDir().mkpath(folder));
    QFile probe(folder);
    QVERIFY(!probe.open(QIODevice::WriteOnly));
    ui.exportTo(folder, true);
    QCOMPARE(ui.status->text(), u"Export failed: %1"_s.arg(probe.errorString()));
}

void TestSettingsViewExport::cancelKeepsTheStatus()
{
    ViewUnderTest ui;
    ui.exportTo(m_out.filePath(u"first.txt"_s));
    QCOMPARE(ui.status->text(), u"Saved (secrets redacted)."_s);
    ui.exportTo(QString());
    QCOMPARE(ui.status->text(), u"Saved (secrets redacted)."_s);
}

CLOCKWARDEN_TEST_MAIN(TestSettingsViewExport)
#include "tst_settingsview_export.moc"
