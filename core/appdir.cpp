#include "core/appdir.h"

#include "core/datetime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace core {
namespace {

const QString kSamplesFolder = QStringLiteral("/../share/tessaly");
const QStringList kSamples{QStringLiteral("prog.cfg"), QStringLiteral("settings.cfg"),
                           QStringLiteral("html/template.asp"), QStringLiteral("alarms.cfg")};

// access() rather than the permission bits: root may not write to a read-only mount either.
bool writable(const QString& folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

} // namespace

QString AppDir::dailyLog(QDate date) const
{
    return logsDir() + datePart(date) + QStringLiteral(".txt");
}

AppDirPlace chooseAppDir(const QString& programDir, const QString& userDir)
{
    const AppDir beside{programDir};
    const QString samples = QDir::cleanPath(programDir + kSamplesFolder);
    const bool installed =
        QFileInfo(programDir).fileName() == QLatin1String("bin") && QFileInfo(samples).isDir();
    if (QFileInfo::exists(beside.progCfg()) || (writable(programDir) && !installed))
        return {beside, true, {}};
    return {AppDir{userDir}, false, samples};
}

QString userAppDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/tessaly");
}

bool seedAppDir(const AppDir& dir, const QString& samples, QString* error)
{
    for (const QString& folder : {dir.logsDir(), dir.htmlDir(), dir.excelDir()}) {
        if (!QDir().mkpath(folder)) {
            if (error)
                *error = QStringLiteral("cannot make the folder %1").arg(folder);
            return false;
        }
    }
    for (const QString& sample : kSamples) {
        const QString target = dir.path(sample);
        if (QFileInfo::exists(target))
            continue;
        QFile source(samples + QLatin1Char('/') + sample);
        // The alarms came later: samples installed without them still seed a folder, whose
        // alarms are then off.
        if (sample == QLatin1String("alarms.cfg") && !source.exists())
            continue;
        if (!source.copy(target)) {
            if (error)
                *error = QStringLiteral("cannot copy %1 to %2: %3")
                             .arg(source.fileName(), target, source.errorString());
            return false;
        }
        // The installed samples are read-only; the user's copies are theirs to change.
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                          QFile::ReadOther);
    }
    return true;
}

} // namespace core
