#include "platform/DesktopEntryInstaller.h"

#include "storage/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Platform {

namespace {

const auto appName = "tembrix-clockwarden"_L1;
const auto iconSubdir = "/icons/hicolor/256x256/apps/"_L1;

void log(Core::Log::Level level, const QString &message)
{
    Core::Log::write(Core::Log::Category::Config, level, message);
}

bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QStringList iconSources()
{
    QStringList sources;
    const QString appDir = QString::fromLocal8Bit(qgetenv("APPDIR"));
    if (!appDir.isEmpty())
        sources.append(appDir + "/usr/share"_L1 + iconSubdir + appName + ".png"_L1);
    sources.append(QCoreApplication::applicationDirPath() + "/../share"_L1 + iconSubdir + appName
                   + ".png"_L1);
    return sources;
}

void copyIcon(const QString &iconPath)
{
    const QStringList sources = iconSources();
    const auto source = std::find_if(sources.cbegin(), sources.cend(),
                                     [](const QString &path) { return QFileInfo(path).isFile(); });
    if (source == sources.cend()) {
        log(Core::Log::Level::Info,
            u"Desktop-entry install: no source icon found; menu will use fallback"_s);
        return;
    }
    QDir().mkpath(QFileInfo(iconPath).path());
    QFile::remove(iconPath);
    if (QFile::copy(*source, iconPath))
        log(Core::Log::Level::Info, u"Desktop-entry install: icon copied from %1"_s.arg(*source));
}

QByteArray entryContent(const QString &appImage)
{
    const QStringList lines{
        u"[Desktop Entry]"_s,
        u"Type=Application"_s,
        u"Name=Tembrix Clockwarden"_s,
        u"Comment=Time tracker for Tembrix"_s,
        "Exec="_L1 + desktopEntryExecValue(appImage),
        "TryExec="_L1 + appImage,
        "Icon="_L1 + appName,
        u"Categories=Utility;Office;"_s,
        u"Terminal=false"_s,
        "StartupWMClass="_L1 + appName,
    };
    return (lines.join(u'\n') + u'\n').toUtf8();
}

bool sameContent(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll() == content;
}

} // namespace

QString desktopEntryExecValue(const QString &programPath)
{
    // Reserved characters of an Exec argument; any of them asks for double quotes.
    static const QString reserved = u" \t\n\"'\\><~|&;$*?#()`"_s;
    const bool quote = std::any_of(programPath.cbegin(), programPath.cend(),
                                   [](QChar c) { return reserved.contains(c); });
    QString argument;
    for (const QChar c : programPath) {
        if (c == u'%')
            argument += "%%"_L1;
        else if (quote && (c == u'"' || c == u'`' || c == u'$' || c == u'\\'))
            argument += u'\\' + c;
        else
            argument += c;
    }
    if (!quote)
        return argument;
    // Exec is also a string value, whose own escaping turns each backslash into two; it applies
    // before the quoting rule is read.
    argument.replace(u'\\', "\\\\"_L1);
    return u'"' + argument + u'"';
}

bool installDesktopEntry()
{
    const QString appImage = QString::fromLocal8Bit(qgetenv("APPIMAGE"));
    if (appImage.isEmpty())
        return false;
    // A line feed would end the Exec line and start a line of the path's choosing.
    if (hasControlCharacter(appImage)) {
        log(Core::Log::Level::Warn,
            u"Desktop-entry install: AppImage path holds a control character; skipping"_s);
        return false;
    }
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataDir.isEmpty()) {
        log(Core::Log::Level::Warn, u"Desktop-entry install: XDG data dir unresolved; skipping"_s);
        return false;
    }

    const QString entryPath = dataDir + "/applications/"_L1 + appName + ".desktop"_L1;
    copyIcon(dataDir + iconSubdir + appName + ".png"_L1);

    const QByteArray content = entryContent(appImage);
    if (sameContent(entryPath, content))
        return false;

    QDir().mkpath(QFileInfo(entryPath).path());
    QSaveFile file(entryPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()
        || !file.commit()) {
        log(Core::Log::Level::Warn, u"Desktop-entry install: cannot write %1"_s.arg(entryPath));
        return false;
    }
    QFile::setPermissions(entryPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                             | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser
                                             | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                             | QFile::ExeOther);
    log(Core::Log::Level::Info,
        u"Desktop-entry install: wrote %1 (Exec=%2)"_s.arg(entryPath, appImage));

    QProcess::startDetached(u"update-desktop-database"_s, { dataDir + "/applications"_L1 });
    QProcess::startDetached(u"gtk-update-icon-cache"_s,
                            { u"-q"_s, u"-t"_s, dataDir + "/icons/hicolor"_L1 });
    return true;
}

} // namespace Platform
