#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace TestSupport {

namespace {

QString makeDir(const QString &root, const QString &name)
{
    const QString path = root + u'/' + name;
    QDir().mkpath(path);
    return path;
}

void setVariable(const char *name, const QString &value)
{
    qputenv(name, QFile::encodeName(value));
}

TestEnvironment *s_current = nullptr;

} // namespace

TestEnvironment::TestEnvironment()
    : m_root(std::make_unique<QTemporaryDir>())
{
    if (!m_root->isValid())
        qFatal("cannot create the temporary test root");
    setVariable("HOME", home());
    setVariable("XDG_CONFIG_HOME", makeDir(root(), QStringLiteral("config")));
    setVariable("XDG_DATA_HOME", makeDir(root(), QStringLiteral("data")));
    setVariable("XDG_STATE_HOME", makeDir(root(), QStringLiteral("state")));
    setVariable("XDG_CACHE_HOME", makeDir(root(), QStringLiteral("cache")));
    const QString runtime = makeDir(root(), QStringLiteral("runtime"));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setVariable("XDG_RUNTIME_DIR", runtime);
    makeDir(root(), QStringLiteral("home"));
    // The program reads these; a developer's own settings must not leak into a test.
    qunsetenv("TEMBRIX_API_BASE_URL");
    qunsetenv("TEMBRIX_FORCE_PLATFORM");
    s_current = this;
}

TestEnvironment::~TestEnvironment()
{
    s_current = nullptr;
}

TestEnvironment *TestEnvironment::current()
{
    return s_current;
}

QString TestEnvironment::root() const
{
    return m_root->path();
}

QString TestEnvironment::home() const
{
    return root() + QStringLiteral("/home");
}

QString TestEnvironment::configHome() const
{
    return root() + QStringLiteral("/config");
}

QString TestEnvironment::dataHome() const
{
    return root() + QStringLiteral("/data");
}

QString TestEnvironment::stateHome() const
{
    return root() + QStringLiteral("/state");
}

QString TestEnvironment::runtimeDir() const
{
    return root() + QStringLiteral("/runtime");
}

} // namespace TestSupport
