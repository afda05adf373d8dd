#include "season/batteryconfig.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/tags.h"

#include <QFile>
#include <QLocale>

namespace season {
namespace {

const QString kTitle = QStringLiteral("Battery Settings");
constexpr double kLeastFull = 5;
constexpr double kMostFull = 80;

} // namespace

QString batteryCfgPath(const core::AppDir& app)
{
    return app.path(QStringLiteral("battery.cfg"));
}

QByteArray batteryConfigText(const BatteryConfig& config)
{
    QByteArray out = kTitle.toLatin1() + "\r\n\r\n<NominalVolts>" +
                     QByteArray::number(config.nominalVolts) + "</NominalVolts>\r\n";
    if (config.fullVolts)
        out += "<FullVolts>" + core::numberText(*config.fullVolts, QLocale::c()).toLatin1() +
               "</FullVolts>\r\n";
    return out + "\r\n";
}

BatteryConfig parseBatteryConfig(QStringView text, QStringList* problems)
{
    BatteryConfig out;
    QStringList found;
    if (core::firstLine(text) != kTitle) {
        found << QStringLiteral("its first line is not \"Battery Settings\"");
    } else {
        if (const auto value = core::tagValue(text, QStringLiteral("NominalVolts"))) {
            const auto n = core::numericValue(*value, QLocale::c());
            if (n && (*n == 0 || *n == 12 || *n == 24 || *n == 48))
                out.nominalVolts = int(*n);
            else
                found
                    << QStringLiteral("<NominalVolts> is \"%1\", not 12, 24, 48 or 0").arg(*value);
        }
        if (const auto value = core::tagValue(text, QStringLiteral("FullVolts"))) {
            const auto v = core::numericValue(*value, QLocale::c());
            if (v && *v >= kLeastFull && *v <= kMostFull)
                out.fullVolts = *v;
            else
                found << QStringLiteral("<FullVolts> is \"%1\", not from 5 to 80").arg(*value);
        }
    }
    if (problems)
        *problems = found;
    return out;
}

BatteryConfig readBatteryConfig(const core::AppDir& app, QString* warning)
{
    const QString path = batteryCfgPath(app);
    if (warning)
        warning->clear();
    if (!QFile::exists(path))
        return {};
    QString reason;
    const auto bytes = core::readWholeFile(path, &reason);
    if (!bytes) {
        if (warning)
            *warning = QStringLiteral("%1 cannot be read (%2); the battery's full volts are the "
                                      "default.")
                           .arg(path, reason);
        return {};
    }
    QStringList problems;
    const BatteryConfig config = parseBatteryConfig(QString::fromLatin1(*bytes), &problems);
    if (warning && !problems.isEmpty())
        *warning = QStringLiteral("%1 is not used as written: %2; the default stands.")
                       .arg(path, problems.join(QStringLiteral("; ")));
    return config;
}

int nominalFromVolts(double volts)
{
    if (volts < 18)
        return 12;
    return volts < 36 ? 24 : 48;
}

double fullVoltsFor(const BatteryConfig& config, int nominalVolts)
{
    if (config.fullVolts)
        return *config.fullVolts;
    return kFullVolts12 * (nominalVolts > 0 ? nominalVolts : 12) / 12.0;
}

QString fullVoltsText(const BatteryConfig& config, int nominalVolts)
{
    const QString how = config.fullVolts      ? QStringLiteral("as battery.cfg sets it")
                        : config.nominalVolts ? QStringLiteral("battery.cfg's bank")
                                              : QStringLiteral("found from the readings");
    const QString volts = core::numberText(fullVoltsFor(config, nominalVolts), QLocale::c());
    // Volts set outright need no bank; before the first minute there is none to name.
    if (nominalVolts <= 0)
        return QStringLiteral("Full at %1 V (%2)").arg(volts, how);
    return QStringLiteral("Full at %1 V (a %2 V bank, %3)").arg(volts).arg(nominalVolts).arg(how);
}

} // namespace season
