#pragma once

#include "core/appdir.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace storage {

// The shortest and the longest time records may be held in memory, in seconds.
inline constexpr int kLeastSyncSeconds = 60;
inline constexpr int kMostSyncSeconds = 3600;
// The volts SyncBelowVolts may be set to: the range of a 12 to 48 V bank's readings.
inline constexpr double kLeastBelowVolts = 5;
inline constexpr double kMostBelowVolts = 80;
// Where a 12 V bank is low enough that the computer it feeds may die with it.
inline constexpr double kLowVolts12 = 11.8;

// storage.cfg beside prog.cfg. SyncSeconds 0 (the default) writes and syncs every record on its
// own; 60 to 3600 holds the records of that many seconds in memory and writes each file once for
// them. SyncBelowVolts: below these volts the records are written at once; missing, the BattLow
// alarm's level or kLowVolts12 scaled to the bank stands.
struct StorageConfig
{
    int syncSeconds = 0;
    std::optional<double> syncBelowVolts;

    bool holds() const { return syncSeconds > 0; }
    bool operator==(const StorageConfig&) const = default;
};

QString storageCfgPath(const core::AppDir& app);

// "Storage Settings", an empty line, <SyncSeconds>, <SyncBelowVolts> (left out when not set), an
// empty line, CR LF line ends.
QByteArray storageConfigText(const StorageConfig& config);

// The values of a file's text. Another title, a missing <SyncSeconds> or one that is not 0 or a
// whole number from kLeastSyncSeconds to kMostSyncSeconds gives the default; SyncBelowVolts
// outside kLeastBelowVolts to kMostBelowVolts is not used. Each is said in problems.
StorageConfig parseStorageConfig(QStringView text, QStringList* problems = nullptr);

// The file; missing: the defaults, silently. warning: the line saying what was not used.
StorageConfig readStorageConfig(const core::AppDir& app, QString* warning = nullptr);

// The level below which records are written at once: the file's, else the BattLow alarm's level
// when that alarm is on, else kLowVolts12 scaled to the bank (nominalVolts 12, 24 or 48; 0 when
// not known, taken as 12).
double syncBelowVolts(const StorageConfig& config, std::optional<double> battLowLevel,
                      int nominalVolts);

// "Records are written every 5 minutes (storage.cfg)"; empty when they are not held.
QString heldNotice(const StorageConfig& config);

// What the period costs and what it risks, in one line for the Storage window.
QString costText(const StorageConfig& config);

// The name of the block device that holds the folder ("mmcblk0p2"), found through sysRoot's
// dev/block/MAJOR:MINOR link; empty when it cannot be told (a folder on tmpfs or overlay).
QString blockDeviceOf(const QString& folder, const QString& sysRoot = QStringLiteral("/sys"));

// The line suggesting SyncSeconds, for records synced one by one on an SD card or eMMC (a
// device named mmcblk...); empty otherwise.
QString cardNotice(const StorageConfig& config, const QString& folder, const QString& device);

} // namespace storage
