#include "TestEnvironment.h"

#include "ui/main/IdleDecisionDialog.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using UI::IdleDecisionDialog;
using namespace Qt::StringLiterals;

class TestIdleDecisionDialog : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
};

void TestIdleDecisionDialog::answers_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("choice");

    QTest::newRow("continue") << u"IdleDecision_KeepButton"_s << int(QDialog::Accepted)
                              << int(IdleDecisionDialog::Choice::Keep);
    QTest::newRow("stop") << u"IdleDecision_DiscardButton"_s << int(QDialog::Accepted)
                          << int(IdleDecisionDialog::Choice::Discard);
    // The choice is not read after a rejection; it keeps its initial value.
    QTest::newRow("escape") << QString() << int(QDialog::Rejected)
                            << int(IdleDecisionDialog::Choice::Discard);
}

void TestIdleDecisionDialog::answers()
{
    QFETCH(QString, action);
    QFETCH(int, result);
    QFETCH(int, choice);

    IdleDecisionDialog dialog;
    QCOMPARE(dialog.objectName(), u"IdleDecision_Window"_s);
    QCOMPARE(dialog.windowTitle(), u"Tembrix Clockwarden"_s);
    QTimer::singleShot(0, &dialog, [&] {
        if (action.isEmpty()) {
            QTest::keyClick(&dialog, Qt::Key_Escape);
            return;
        }
        auto *button = dialog.findChild<QPushButton *>(action);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    });
    QTimer::singleShot(5000, &dialog, [&] { dialog.done(-1); });
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(int(dialog.choice()), choice);
}

CLOCKWARDEN_TEST_MAIN(TestIdleDecisionDialog)
#include "tst_idledecisiondialog.moc"
