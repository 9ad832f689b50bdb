#pragma once

#include <QString>
#include <QTest>

#include <memory>

class QTemporaryDir;

namespace TestSupport {

// Points HOME and every XDG variable at a fresh temporary root. Construct it in main() before
// the application object or anything else reads the environment; the root is removed with it.
class TestEnvironment final
{
public:
    TestEnvironment();
    ~TestEnvironment();

    TestEnvironment(const TestEnvironment &) = delete;
    TestEnvironment &operator=(const TestEnvironment &) = delete;

    // The environment of the running test, or nullptr outside one.
    static TestEnvironment *current();

    QString root() const;
    QString home() const;
    QString configHome() const;
    QString dataHome() const;
    QString stateHome() const;
    QString runtimeDir() const;

private:
    std::unique_ptr<QTemporaryDir> m_root;
};

// Runs a QtTest object inside a TestEnvironment with the given application class.
template<typename Application, typename TestObject>
int runTest(int argc, char **argv)
{
    TestEnvironment environment;
    Application app(argc, argv);
    TestObject test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace TestSupport

// Use one of these instead of QTEST_MAIN / QTEST_GUILESS_MAIN in every test file. A widget test
// includes <QApplication> and links Qt6::Widgets itself: the support library stays GUI-free, since
// <QTest> pulls in the widget test headers for every target that links Widgets.
#define CLOCKWARDEN_TEST_MAIN(TestObject) \
    int main(int argc, char **argv) \
    { \
        return TestSupport::runTest<QApplication, TestObject>(argc, argv); \
    }

#define CLOCKWARDEN_GUILESS_TEST_MAIN(TestObject) \
    int main(int argc, char **argv) \
    { \
        return TestSupport::runTest<QCoreApplication, TestObject>(argc, argv); \
    }
