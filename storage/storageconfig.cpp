#include "storage/storageconfig.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/tags.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cmath>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace storage {
namespace {

const QString kTitle = QStringLiteral("Storage Settings");

// "5 minutes", "minute", "hour", "90 seconds": what follows "every".
QString periodText(int seconds)
{
    if (seconds == 3600)
        return QStringLiteral("hour");
    if (seconds == 60)
        return QStringLiteral("minute");
    if (seconds % 60 == 0)
        return QStringLiteral("%1 minutes").arg(seconds / 60);
    return QStringLiteral("%1 seconds").arg(seconds);
}

} // namespace

QString storageCfgPath(const core::AppDir& app)
{
    return app.path(QStringLiteral("storage.cfg"));
}

QByteArray storageConfigText(const StorageConfig& config)
{
    QByteArray out = kTitle.toLatin1() + "\r\n\r\n<SyncSeconds>" +
                     QByteArray::number(config.syncSeconds) + "</SyncSeconds>\r\n";
    if (config.syncBelowVolts)
        out += "<SyncBelowVolts>" +
               core::numberText(*config.syncBelowVolts, QLocale::c()).toLatin1() +
               "</SyncBelowVolts>\r\n";
    return out + "\r\n";
}

StorageConfig parseStorageConfig(QStringView text, QStringList* problems)
{
    StorageConfig out;
    QStringList found;
    if (core::firstLine(text) != kTitle) {
        found << QStringLiteral("its first line is not \"Storage Settings\"");
    } else {
        if (const auto value = core::tagValue(text, QStringLiteral("SyncSeconds"))) {
            const auto n = core::numericValue(*value, QLocale::c());
            const bool whole = n && std::floor(*n) == *n;
            if (whole && (*n == 0 || (*n >= kLeastSyncSeconds && *n <= kMostSyncSeconds)))
                out.syncSeconds = int(*n);
            else
                found << QStringLiteral("<SyncSeconds> is \"%1\", not 0 or whole seconds from %2 "
                                        "to %3")
                             .arg(*value)
                             .arg(kLeastSyncSeconds)
                             .arg(kMostSyncSeconds);
        } else {
            found << QStringLiteral("it has no <SyncSeconds> value");
        }
        if (const auto value = core::tagValue(text, QStringLiteral("SyncBelowVolts"))) {
            const auto v = core::numericValue(*value, QLocale::c());
            if (v && *v >= kLeastBelowVolts && *v <= kMostBelowVolts)
                out.syncBelowVolts = *v;
            else
                found << QStringLiteral("<SyncBelowVolts> is \"%1\", not from 5 to 80").arg(*value);
        }
    }
    if (problems)
        *problems = found;
    return out;
}

StorageConfig readStorageConfig(const core::AppDir& app, QString* warning)
{
    const QString path = storageCfgPath(app);
    if (warning)
        warning->clear();
    if (!QFile::exists(path))
        return {};
    QString reason;
    const auto bytes = core::readWholeFile(path, &reason);
    if (!bytes) {
        if (warning)
            *warning = QStringLiteral("%1 cannot be read (%2); every record is synced on its own.")
                           .arg(path, reason);
        return {};
    }
    QStringList problems;
    const StorageConfig config = parseStorageConfig(QString::fromLatin1(*bytes), &problems);
    if (warning && !problems.isEmpty())
        *warning = QStringLiteral("%1 is not used as written: %2; the default stands.")
                       .arg(path, problems.join(QStringLiteral("; ")));
    return config;
}

double syncBelowVolts(const StorageConfig& config, std::optional<double> battLowLevel,
                      int nominalVolts)
{
    if (config.syncBelowVolts)
        return *config.syncBelowVolts;
    if (battLowLevel)
        return *battLowLevel;
    return kLowVolts12 * (nominalVolts > 0 ? nominalVolts : 12) / 12.0;
}

QString heldNotice(const StorageConfig& config)
{
    if (!config.holds())
        return {};
    return QStringLiteral("Records are written every %1 (storage.cfg)")
        .arg(periodText(config.syncSeconds));
}

QString costText(const StorageConfig& config)
{
    if (!config.holds())
        return QStringLiteral("Every record is synced on its own: a power cut loses at most the "
                              "record being written, but an SD card sees a write per file at "
                              "every record.");
    const QString period = periodText(config.syncSeconds);
    return QStringLiteral("Each file is written once every %1, a small part of the wear on an SD "
                          "card; a power cut loses up to the last %1 of records, none once the "
                          "volts are below the level.")
        .arg(period);
}

QString blockDeviceOf(const QString& folder, const QString& sysRoot)
{
    struct stat st
    {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return {};
    const QString link =
        sysRoot + QStringLiteral("/dev/block/%1:%2").arg(major(st.st_dev)).arg(minor(st.st_dev));
    const QString target = QFileInfo(link).canonicalFilePath();
    return target.isEmpty() ? QString() : QFileInfo(target).fileName();
}

QString cardNotice(const StorageConfig& config, const QString& folder, const QString& device)
{
    if (config.holds() || !device.startsWith(QStringLiteral("mmcblk")))
        return {};
    return QStringLiteral("%1 is on an SD card or eMMC (%2), and every record is synced to it on "
                          "its own, which wears a card out within months at a short interval. "
                          "<SyncSeconds>300</SyncSeconds> in storage.cfg writes them every 5 "
                          "minutes instead; a power cut then loses up to the last 5 minutes of "
                          "records.")
        .arg(folder, device);
}

} // namespace storage
