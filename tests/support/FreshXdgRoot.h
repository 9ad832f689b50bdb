#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

// Points HOME and the XDG roots at a new empty temporary directory for one test function, so that
// each test starts from nothing on disk. The directories themselves are not created: the code under
// test does that. The previous environment comes back when the object goes.
class FreshXdgRoot final
{
public:
    FreshXdgRoot()
    {
        QVERIFY(m_root.isValid());
        for (const char *name : variables) {
            m_saved.append(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                           : std::nullopt);
        }
        set("HOME", home());
        set("XDG_CONFIG_HOME", path(QStringLiteral("config")));
        set("XDG_DATA_HOME", path(QStringLiteral("data")));
        set("XDG_STATE_HOME", path(QStringLiteral("state")));
        set("XDG_RUNTIME_DIR", path(QStringLiteral("runtime")));
        QDir().mkpath(home());
    }

    ~FreshXdgRoot()
    {
        for (qsizetype i = 0; i < m_saved.size(); ++i) {
            if (m_saved.at(i))
                qputenv(variables[i], *m_saved.at(i));
            else
                qunsetenv(variables[i]);
        }
    }

    FreshXdgRoot(const FreshXdgRoot &) = delete;
    FreshXdgRoot &operator=(const FreshXdgRoot &) = delete;

    static void set(const char *name, const QString &value)
    {
        qputenv(name, QFile::encodeName(value));
    }

    QString path(const QString &relative) const { return m_root.path() + u'/' + relative; }
    QString home() const { return path(QStringLiteral("home")); }
    QString configDir() const { return path(QStringLiteral("config/TembrixClockwarden")); }
    QString dataDir() const { return path(QStringLiteral("data/TembrixClockwarden")); }
    QString logsDir() const { return path(QStringLiteral("state/TembrixClockwarden/logs")); }

private:
    static constexpr const char *variables[]
            = { "HOME",           "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "TMPDIR" };
    QTemporaryDir m_root;
    QList<std::optional<QByteArray>> m_saved;
};
