#pragma once

#include <QByteArray>
#include <QString>

namespace alarms {

// "$XDG_CONFIG_HOME/autostart/tessaly.desktop" (~/.config when XDG_CONFIG_HOME is unset or not
// absolute), for the program "Tessaly".
QString autostartPath(const QString& program);

// The Exec value for a program at an absolute path: the path in double quotes, with the
// characters desktop entries reserve inside quotes escaped ("\"", "`", "$", "\\"),
// then "\\" escaped once more for the file's string values, and "%" doubled.
QString execValue(const QString& programPath);

// A desktop entry that starts the program with the desktop session.
QByteArray autostartEntry(const QString& program, const QString& programPath);

bool autostartOn(const QString& program);

// Writes the entry (through a temporary file; the folder is made when missing) or removes it.
// False with the reason in error.
bool setAutostart(bool on, const QString& program, const QString& programPath,
                  QString* error = nullptr);

} // namespace alarms
