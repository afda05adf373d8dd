#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace alarms {

// "$XDG_CONFIG_HOME/autostart/tessaly.desktop" (~/.config when XDG_CONFIG_HOME is unset or not
// absolute), for the program "Tessaly".
QString autostartPath(const QString& program);

// The Exec value for a program at an absolute path: the path in double quotes, with the
// characters desktop entries reserve inside quotes escaped ("\"", "`", "$", "\\"),
// then "\\" escaped once more for the file's string values, and "%" doubled.
QString execValue(const QString& programPath);

// Why the program's name or path cannot go into a desktop entry: a line break or another control
// character (it would start a line of its own), or a path that is not absolute; nullopt when
// they can.
std::optional<QString> autostartProblem(const QString& program, const QString& programPath);

// A desktop entry that starts the program with the desktop session, marked as ours with
// X-Tessaly-Autostart=true. Empty when autostartProblem() refuses the name or the path.
QByteArray autostartEntry(const QString& program, const QString& programPath);

// What stands at autostartPath(program).
enum class AutostartState
{
    None,    // no entry
    On,      // ours, starting the program at programPath, not switched off by the desktop
    OursOff, // ours, but for another path, or switched off (Hidden, X-GNOME-Autostart-enabled)
    NotOurs, // an entry the user wrote, or another program did: never changed or removed here
};
AutostartState autostartState(const QString& program, const QString& programPath);

// Whether the program at programPath starts with the desktop session by our entry.
bool autostartOn(const QString& program, const QString& programPath);

// Writes our entry (through a temporary file; the folder is made when missing) or removes it.
// An entry that is not ours is left as it is: writing over it is refused, and removing it does
// nothing. False with the reason in error.
bool setAutostart(bool on, const QString& program, const QString& programPath,
                  QString* error = nullptr);

} // namespace alarms
