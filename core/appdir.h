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

// Where a program keeps its files. A portable copy keeps them beside the program: its folder is
// used when it holds prog.cfg, or when it may be written to and is not an installed layout (a
// "bin" folder beside "share/tessaly"). Otherwise one folder per user, shared by both programs,
// seeded from the installed samples.
struct AppDirPlace
{
    AppDir dir;
    bool portable = true;
    QString samples; // the installed sample files, for a per-user folder
};
AppDirPlace chooseAppDir(const QString& programDir, const QString& userDir);

// The per-user folder: the user's application-data location, "tessaly" in it.
QString userAppDir();

// Makes the folder and its "logs", "html" and "Excel" folders, and copies in each sample file
// it does not hold yet. False, with the reason, when it cannot.
bool seedAppDir(const AppDir& dir, const QString& samples, QString* error = nullptr);

} // namespace core
