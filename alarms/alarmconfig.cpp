#include "alarms/alarmconfig.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/tags.h"

#include <QLocale>
#include <optional>
#include <vector>

namespace alarms {
namespace {

constexpr std::array<KindFacts, kKindCount> kFacts{{
    {"BattLow", "Battery low", core::kVolts, true, true, "V", "battery", {false, 11.8, 0.3, 60}},
    {"BattHigh", "Battery high", core::kVolts, false, true, "V", "problem", {false, 14.8, 0.3, 60}},
    {"AmpsHigh", "Current high", core::kAmps, false, false, "A", "problem", {false, 30, 2, 10}},
    {"RpmHigh", "Mill RPM high", core::kRpm, false, false, "RPM", "problem", {false, 600, 50, 10}},
    {"WindHigh", "Wind high", core::kWind, false, false, nullptr, "problem", {false, 50, 5, 10}},
    // The quantity is not used: NoData watches the time since the last fresh frame.
    {"NoData", "No data", core::kVolts, false, false, "s", "problem", {false, 120, 0, 0}},
}};

const QByteArray kTitle = "Alarm Settings";

// One key of the file and the value it stands for.
struct Key
{
    QString name;
    double* number = nullptr;
    bool* flag = nullptr;
    double least = 0;   // the lowest value that makes sense
    bool above = false; // the value must be above least, not just at it
};

// In the order they are written; a null config gives the names only.
std::vector<Key> keys(AlarmsConfig* c)
{
    std::vector<Key> out;
    const double lowest = -1e300;
    for (const Kind k : kKinds) {
        AlarmSettings* s = c ? &(*c)[k] : nullptr;
        const QString key = QString::fromLatin1(facts(k).key);
        const bool noData = k == Kind::NoData;
        out.push_back({key + QStringLiteral("On"), nullptr, s ? &s->on : nullptr});
        out.push_back({key + QStringLiteral("Level"), s ? &s->level : nullptr, nullptr,
                       noData ? 0 : lowest, noData});
        out.push_back({key + QStringLiteral("Hysteresis"), s ? &s->hysteresis : nullptr});
        out.push_back({key + QStringLiteral("Delay"), s ? &s->delayS : nullptr});
    }
    out.push_back({QStringLiteral("Notify"), nullptr, c ? &c->notify : nullptr});
    out.push_back({QStringLiteral("Silence"), c ? &c->silenceMinutes : nullptr, nullptr, 0, true});
    return out;
}

QString numberInFile(double v)
{
    return core::numberText(v, QLocale::c());
}

// Why a value cannot stand for its key, or nullopt when it reads.
std::optional<QString> readKey(const Key& key, const QString& value)
{
    const auto number = core::numericValue(value, QLocale::c());
    if (key.flag) {
        if (!number || (*number != 0 && *number != 1))
            return QStringLiteral("<%1> is \"%2\", not 0 or 1").arg(key.name, value);
        *key.flag = *number == 1;
        return std::nullopt;
    }
    if (!number)
        return QStringLiteral("<%1> is \"%2\", not a number").arg(key.name, value);
    if (*number < key.least || (key.above && *number == key.least))
        return QStringLiteral("<%1> is %2, below what it can mean").arg(key.name, value);
    *key.number = *number;
    return std::nullopt;
}

} // namespace

const KindFacts& facts(Kind kind)
{
    return kFacts[std::size_t(kind)];
}

QString unitOf(Kind kind, const QString& wsUnits)
{
    const char* unit = facts(kind).unit;
    return unit ? QString::fromLatin1(unit) : wsUnits.trimmed();
}

bool AlarmsConfig::anyOn() const
{
    for (const AlarmSettings& s : alarms) {
        if (s.on)
            return true;
    }
    return false;
}

AlarmsConfig defaultAlarmsConfig()
{
    AlarmsConfig c;
    for (const Kind k : kKinds)
        c[k] = facts(k).defaults;
    return c;
}

QString alarmsCfgPath(const core::AppDir& app)
{
    return app.path(QStringLiteral("alarms.cfg"));
}

QStringList alarmsConfigKeys()
{
    QStringList out;
    for (const Key& key : keys(nullptr))
        out << key.name;
    return out;
}

QByteArray alarmsConfigText(const QStringList& values)
{
    const QStringList names = alarmsConfigKeys();
    QByteArray out = kTitle + "\r\n\r\n";
    for (qsizetype k = 0; k < names.size(); ++k) {
        const QByteArray name = names[k].toLatin1();
        out += '<' + name + '>' + values.value(k).toLatin1() + "</" + name + ">\r\n";
    }
    return out + "\r\n";
}

QByteArray alarmsConfigText(const AlarmsConfig& config)
{
    AlarmsConfig copy = config;
    QStringList values;
    for (const Key& key : keys(&copy))
        values << (key.flag ? QString::number(*key.flag ? 1 : 0) : numberInFile(*key.number));
    return alarmsConfigText(values);
}

AlarmsConfig parseAlarmsConfig(QStringView text, QString* problem)
{
    AlarmsConfig read = defaultAlarmsConfig();
    auto damaged = [problem](const QString& why) {
        if (problem)
            *problem = why;
        return defaultAlarmsConfig();
    };
    if (!text.startsWith(QString::fromLatin1(kTitle + "\r\n")))
        return damaged(QStringLiteral("its first line is not \"Alarm Settings\""));
    for (const Key& key : keys(&read)) {
        const auto value = core::tagValue(text, key.name);
        if (!value)
            return damaged(QStringLiteral("<%1> is missing").arg(key.name));
        if (const auto why = readKey(key, *value))
            return damaged(*why);
    }
    return read;
}

AlarmsConfig readAlarmsConfig(const core::AppDir& app, QString* warning)
{
    const QString path = alarmsCfgPath(app);
    QString reason;
    const auto bytes = core::readWholeFile(path, &reason);
    QString problem;
    const AlarmsConfig config =
        bytes ? parseAlarmsConfig(QString::fromLatin1(*bytes), &problem) : defaultAlarmsConfig();
    if (!bytes)
        problem = reason;
    if (warning) {
        *warning = problem.isEmpty() ? QString()
                                     : QStringLiteral("Alarms are off: %1 cannot be used (%2). "
                                                      "Set them again in Alarms.")
                                           .arg(path, problem);
    }
    return config;
}

bool saveAlarmsConfig(const core::AppDir& app, const AlarmsConfig& config, QString* error)
{
    return core::replaceFile(alarmsCfgPath(app), alarmsConfigText(config), error);
}

} // namespace alarms
