#include "alarms/autostart.h"

#include "core/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringTokenizer>

namespace alarms {
namespace {

// The key that tells our entry from one the user wrote for the same program.
const QString kMarker = QStringLiteral("X-Tessaly-Autostart");

bool hasControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// The keys of the file's [Desktop Entry] group, as written.
QHash<QString, QString> desktopEntryKeys(const QString& text)
{
    QHash<QString, QString> keys;
    bool inEntry = false;
    for (QStringView line : qTokenize(text, u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inEntry || line.startsWith(u'#') || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed().toString();
        if (!keys.contains(key))
            keys.insert(key, line.mid(equals + 1).trimmed().toString());
    }
    return keys;
}

} // namespace

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

std::optional<QString> autostartProblem(const QString& program, const QString& programPath)
{
    if (program.isEmpty() || hasControlCharacter(program))
        return QStringLiteral("the program's name \"%1\" cannot stand in a desktop entry")
            .arg(program);
    if (hasControlCharacter(programPath)) {
        return QStringLiteral("the program's path holds a line break or another control "
                              "character, which would make a line of its own in the entry");
    }
    if (!QDir::isAbsolutePath(programPath))
        return QStringLiteral("the program's path \"%1\" is not absolute").arg(programPath);
    return std::nullopt;
}

QByteArray autostartEntry(const QString& program, const QString& programPath)
{
    if (autostartProblem(program, programPath))
        return {};
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=%1\n"
                                        "Comment=Started with the desktop session to watch the "
                                        "plant's alarms\n"
                                        "Exec=%2\n"
                                        "Icon=tessaly\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n"
                                        "%3=true\n")
                             .arg(program, execValue(programPath), kMarker);
    return text.toUtf8();
}

AutostartState autostartState(const QString& program, const QString& programPath)
{
    const auto bytes = core::readWholeFile(autostartPath(program));
    if (!bytes)
        return QFileInfo::exists(autostartPath(program)) ? AutostartState::NotOurs
                                                         : AutostartState::None;
    const QHash<QString, QString> keys = desktopEntryKeys(QString::fromUtf8(*bytes));
    if (keys.value(kMarker) != QLatin1String("true"))
        return AutostartState::NotOurs;
    const bool switchedOff =
        keys.value(QStringLiteral("Hidden")) == QLatin1String("true") ||
        keys.value(QStringLiteral("X-GNOME-Autostart-enabled")) == QLatin1String("false");
    const bool thisProgram = keys.value(QStringLiteral("Exec")) == execValue(programPath);
    return thisProgram && !switchedOff ? AutostartState::On : AutostartState::OursOff;
}

bool autostartOn(const QString& program, const QString& programPath)
{
    return autostartState(program, programPath) == AutostartState::On;
}

bool setAutostart(bool on, const QString& program, const QString& programPath, QString* error)
{
    const QString path = autostartPath(program);
    const AutostartState state = autostartState(program, programPath);
    if (!on) {
        QFile file(path);
        if (state == AutostartState::None || state == AutostartState::NotOurs || file.remove())
            return true;
        if (error)
            *error = file.errorString();
        return false;
    }
    if (state == AutostartState::NotOurs) {
        if (error)
            *error = QStringLiteral("an entry of your own is there; it is left as it is");
        return false;
    }
    if (const auto problem = autostartProblem(program, programPath)) {
        if (error)
            *error = *problem;
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
