#include "alarms/autostart.h"

#include "core/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace alarms {

QString autostartPath(const QString& program)
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // XDG_CONFIG_HOME counts only when it is an absolute path.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/autostart/") + program.toLower() + QStringLiteral(".desktop");
}

QString execValue(const QString& programPath)
{
    QString quoted;
    for (const QChar c : programPath) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray autostartEntry(const QString& program, const QString& programPath)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=%1\n"
                                        "Comment=Started with the desktop session to watch the "
                                        "plant's alarms\n"
                                        "Exec=%2\n"
                                        "Icon=tessaly\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(program, execValue(programPath));
    return text.toUtf8();
}

bool autostartOn(const QString& program)
{
    return QFileInfo::exists(autostartPath(program));
}

bool setAutostart(bool on, const QString& program, const QString& programPath, QString* error)
{
    const QString path = autostartPath(program);
    if (!on) {
        QFile file(path);
        if (!file.exists() || file.remove())
            return true;
        if (error)
            *error = file.errorString();
        return false;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error)
            *error =
                QStringLiteral("cannot make the folder %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    return core::replaceFile(path, autostartEntry(program, programPath), error);
}

} // namespace alarms
