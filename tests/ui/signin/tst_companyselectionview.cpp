#include "TestEnvironment.h"

#include "SignInPageFixture.h"
#include "storage/Preferences.h"
#include "ui/signin/CompanySelectionView.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using Models::LoginCompany;
using SignInTest::child;
using UI::CompanySelectionView;

namespace {

const QString endpointKey = u"lastSelectedCompanyEndpoint"_s;

// The rows in layout order, each as its name, with "*" when it carries the pill.
QStringList rowsOf(const CompanySelectionView &page)
{
    QStringList rows;
    const QLayout *list = child<QWidget>(&page, u"CompanySelection_List"_s)->layout();
    for (int i = 0; i < list->count(); ++i) {
        const QWidget *row = list->itemAt(i)->widget();
        const QList<QWidget *> parts = row->findChildren<QWidget *>();
        const bool recent = std::any_of(parts.cbegin(), parts.cend(), [](const QWidget *part) {
            return part->property("recentpill").toBool();
        });
        rows.append(row->accessibleName() + (recent ? u"*"_s : QString()));
    }
    return rows;
}

QPushButton *rowButton(const CompanySelectionView &page, int index)
{
    const QLayout *list = child<QWidget>(&page, u"CompanySelection_List"_s)->layout();
    return qobject_cast<QPushButton *>(list->itemAt(index)->widget());
}

const QList<LoginCompany> companies = {
    { u"Gamma"_s, u"https://gamma.example.com"_s },
    { u"alpha"_s, u"https://alpha.example.com"_s },
    { u"Beta"_s, u"https://beta.example.com"_s },
};

} // namespace

class TestCompanySelectionView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void ordersRowsAndMarksTheRecentCompany_data();
    void ordersRowsAndMarksTheRecentCompany();
    void storesEndpointBeforeReportingChoice();
    void replacesRowsAndHidesError();
    void showsErrorOnlyForText();
};

void TestCompanySelectionView::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    SignInTest::usePalette(u"pink"_s);
}

void TestCompanySelectionView::init()
{
    Storage::Preferences::instance().remove(endpointKey);
}

void TestCompanySelectionView::ordersRowsAndMarksTheRecentCompany_data()
{
    QTest::addColumn<QList<LoginCompany>>("offered");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("nothing stored")
            << companies << QString() << QStringList{ u"alpha"_s, u"Beta"_s, u"Gamma"_s };
    QTest::newRow("stored third moves first") << companies << u"https://gamma.example.com"_s
                                              << QStringList{ u"Gamma*"_s, u"alpha"_s, u"Beta"_s };
    QTest::newRow("stored matches none") << companies << u"https://gone.example.com"_s
                                         << QStringList{ u"alpha"_s, u"Beta"_s, u"Gamma"_s };
    QList<LoginCompany> twins = companies;
    twins.append({ u"Delta"_s, u"https://beta.example.com"_s });
    QTest::newRow("two matches: one moves, both marked")
            << twins << u"https://beta.example.com"_s
            << QStringList{ u"Beta*"_s, u"alpha"_s, u"Delta*"_s, u"Gamma"_s };
}

void TestCompanySelectionView::ordersRowsAndMarksTheRecentCompany()
{
    QFETCH(QList<LoginCompany>, offered);
    QFETCH(QString, stored);
    QFETCH(QStringList, rows);
    if (!stored.isEmpty())
        Storage::Preferences::instance().setValue(endpointKey, stored);
    CompanySelectionView page;
    page.setCompanies(offered, u"Dana"_s);
    QCOMPARE(rowsOf(page), rows);
}

void TestCompanySelectionView::storesEndpointBeforeReportingChoice()
{
    CompanySelectionView page;
    QVERIFY(SignInTest::showPage(&page));
    QString storedAtCallback;
    QList<LoginCompany> chosen;
    page.onCompanySelected = [&](const LoginCompany &company) {
        storedAtCallback = Storage::Preferences::instance().value(endpointKey).toString();
        chosen.append(company);
    };
    page.setCompanies(companies, u"Dana"_s);
    page.showError(u"Something went wrong. Please try again."_s);
    QTest::mouseClick(rowButton(page, 1), Qt::LeftButton); // Beta
    QCOMPARE(chosen, QList<LoginCompany>{ companies[2] });
    QCOMPARE(storedAtCallback, u"https://beta.example.com"_s);
    QVERIFY(child<QLabel>(&page, u"CompanySelection_ErrorLabel"_s)->isHidden());

    page.setCompanies(companies, u"Dana"_s);
    QCOMPARE(rowsOf(page), (QStringList{ u"Beta*"_s, u"alpha"_s, u"Gamma"_s }));
}

void TestCompanySelectionView::replacesRowsAndHidesError()
{
    CompanySelectionView page;
    page.setCompanies(companies, u"Dana"_s);
    page.showError(u"Something went wrong. Please try again."_s);
    page.setCompanies({ { u"Solo"_s, u"https://solo.example.com"_s } }, u"Kim"_s);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(rowsOf(page), QStringList{ u"Solo"_s });
    QCOMPARE(child<QWidget>(&page, u"CompanySelection_List"_s)
                     ->findChildren<QPushButton *>(u"companyRow"_s)
                     .size(),
             1);
    QVERIFY(child<QLabel>(&page, u"CompanySelection_ErrorLabel"_s)->isHidden());

    page.setCompanies({}, QString());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(rowsOf(page).isEmpty());
    const QList<QLabel *> labels = page.findChildren<QLabel *>();
    QVERIFY(std::any_of(labels.cbegin(), labels.cend(), [](const QLabel *label) {
        return label->text()
               == u"Hi , you have access to multiple companies. Select one to continue."_s;
    }));
}

void TestCompanySelectionView::showsErrorOnlyForText()
{
    CompanySelectionView page;
    QVERIFY(SignInTest::showPage(&page));
    auto *error = child<QLabel>(&page, u"CompanySelection_ErrorLabel"_s);
    QVERIFY(error->isHidden());
    page.showError(u"<b>Failed</b>"_s);
    QVERIFY(error->isVisible());
    QCOMPARE(error->textFormat(), Qt::PlainText);
    page.showError(QString());
    QVERIFY(error->isHidden());
}

CLOCKWARDEN_TEST_MAIN(TestCompanySelectionView)
#include "tst_companyselectionview.moc"
