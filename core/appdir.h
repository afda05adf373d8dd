#pragma once

#include <QDate>
#include <QString>

namespace core {

// Where the program keeps its files: the folder that holds the program, with the two
// configuration files and the "logs", "html" and "Excel" folders beside it.
struct AppDir
{
    QString dir;

    QString path(const QString& relative) const { return dir + QLatin1Char('/') + relative; }
    QString progCfg() const { return path(QStringLiteral("prog.cfg")); }
    QString settingsCfg() const { return path(QStringLiteral("settings.cfg")); }
    QString logsDir() const { return path(QStringLiteral("logs/")); }
    QString htmlDir() const { return path(QStringLiteral("html/")); }
    QString excelDir() const { return path(QStringLiteral("Excel/")); }
    // "logs/2024_3_7.txt" for 7 March 2024.
    QString dailyLog(QDate date) const;
    // The "com1" link that names the device of port 1.
    QString comLink(int port) const { return path(QStringLiteral("com%1").arg(port)); }
};

} // namespace core
