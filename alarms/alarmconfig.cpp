#include "alarms/alarmconfig.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/tags.h"
#include "core/windunits.h"

#include <QLocale>
#include <cmath>

namespace alarms {
namespace {

// Volts up to the volts meter's full scale; amps either way through the shunt; RPM and wind far
// beyond any small mill's (the wind in whatever unit the user gave it).
constexpr LevelRange kVoltsRange{0, 100};
constexpr LevelRange kAmpsRange{-500, 500};
constexpr LevelRange kRpmRange{0, 10000};
constexpr LevelRange kWindRange{0, 500};
constexpr LevelRange kQuietRange{1, kMaxDelayS};
// The measured energy as a share of the reference's: a turbine may beat its maker's figures.
constexpr LevelRange kShareRange{0, 200};

constexpr std::array<KindFacts, kKindCount> kFacts{{
    {"BattLow",
     "Battery low",
     core::kVolts,
     true,
     true,
     "V",
     "battery",
     {false, 11.8, 0.3, 60},
     kVoltsRange},
    {"BattHigh",
     "Battery high",
     core::kVolts,
     false,
     true,
     "V",
     "problem",
     {false, 14.8, 0.3, 60},
     kVoltsRange},
    {"AmpsHigh",
     "Current high",
     core::kAmps,
     false,
     false,
     "A",
     "problem",
     {false, 30, 2, 10},
     kAmpsRange},
    {"RpmHigh",
     "Mill RPM high",
     core::kRpm,
     false,
     false,
     "RPM",
     "problem",
     {false, 600, 50, 10},
     kRpmRange},
    {"WindHigh",
     "Wind high",
     core::kWind,
     false,
     false,
     nullptr,
     "problem",
     {false, 50, 5, 10},
     kWindRange},
    // The quantity is not used: NoData watches the time since the last fresh frame.
    {"NoData",
     "No data",
     core::kVolts,
     false,
     false,
     "s",
     "problem",
     {false, 120, 0, 0},
     kQuietRange},
    // The quantity is not used: CurveLow weighs whole minutes against the reference curve.
    {"CurveLow",
     "Power curve low",
     core::kWatts,
     true,
     false,
     "%",
     "problem",
     {false, 70, 10, 120},
     kShareRange},
    // The wind, with the rotor still (kStillRpm, kStillWatts); Delay in minutes. The window puts
    // the user's own unit and the reference's cut-in in its Level (stoppedDefaults).
    {"Stopped",
     "Turbine stopped in wind",
     core::kWind,
     false,
     false,
     nullptr,
     "problem",
     {false, 6, 1, 10},
     kWindRange},
    // The RPM, with the charge below <RunawayAmps>: an unloaded rotor may wreck itself.
    {"Runaway",
     "Turbine running away",
     core::kRpm,
     false,
     true,
     "RPM",
     "problem",
     {false, 500, 50, 30, 0.5},
     kRpmRange},
}};

const QString kTitle = QStringLiteral("Alarm Settings");
const QStringList kFields{QStringLiteral("On"), QStringLiteral("Level"),
                          QStringLiteral("Hysteresis"), QStringLiteral("Delay")};
// Runaway's second level, after its four keys.
const QString kAmpsField = QStringLiteral("Amps");

QString keyOf(Kind kind, const QString& field)
{
    return QString::fromLatin1(facts(kind).key) + field;
}

QStringList fieldsOf(Kind kind)
{
    return kind == Kind::Runaway ? kFields + QStringList{kAmpsField} : kFields;
}

QString numberInFile(double v)
{
    return core::numberText(v, QLocale::c());
}

QString tag(const QString& key)
{
    return QLatin1Char('<') + key + QLatin1Char('>');
}

// The number a key holds, or why it holds none: a finite number with a point, nothing else. It is
// taken as the file would write it again (15 digits), so what is checked is what is kept.
std::optional<double> numberOf(const QString& key, const QString& value, QStringList& problems)
{
    const auto number = core::numericValue(value, QLocale::c());
    if (!number) {
        problems << QStringLiteral("%1 is \"%2\", not a number").arg(tag(key), value);
        return std::nullopt;
    }
    return core::numericValue(numberInFile(*number), QLocale::c()).value_or(*number);
}

std::optional<bool> flagOf(const QString& key, const QString& value, QStringList& problems)
{
    const auto number = core::numericValue(value, QLocale::c());
    if (!number || (*number != 0 && *number != 1)) {
        problems << QStringLiteral("%1 is \"%2\", not 0 or 1").arg(tag(key), value);
        return std::nullopt;
    }
    return *number == 1;
}

// One kind's keys; nullopt (with its problems said) when the kind cannot be used.
std::optional<AlarmSettings> readKind(QStringView text, Kind kind, QStringList& problems)
{
    const QStringList fields = fieldsOf(kind);
    QStringList values, missing;
    for (const QString& field : fields) {
        const auto value = core::tagValue(text, keyOf(kind, field));
        values << value.value_or(QString());
        if (!value)
            missing << tag(keyOf(kind, field));
    }
    if (missing.size() == fields.size())
        return facts(kind).defaults;
    const QString title = QString::fromLatin1(facts(kind).title);
    if (!missing.isEmpty()) {
        problems << QStringLiteral("%1 is off: %2 %3 missing")
                        .arg(title, missing.join(QStringLiteral(", ")),
                             missing.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"));
        return std::nullopt;
    }
    const qsizetype before = problems.size();
    const auto on = flagOf(keyOf(kind, kFields[0]), values[0], problems);
    const auto level = numberOf(keyOf(kind, kFields[1]), values[1], problems);
    const auto hysteresis = numberOf(keyOf(kind, kFields[2]), values[2], problems);
    const auto delay = numberOf(keyOf(kind, kFields[3]), values[3], problems);
    std::optional<double> amps = 0.0;
    if (kind == Kind::Runaway)
        amps = numberOf(keyOf(kind, kAmpsField), values[4], problems);
    if (problems.size() == before) {
        const AlarmSettings s{*on, *level, *hysteresis, *delay, *amps};
        if (const auto why = settingsProblem(kind, s))
            problems << *why;
        else
            return s;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> settingsProblem(Kind kind, const AlarmSettings& s)
{
    const KindFacts& f = facts(kind);
    const LevelRange r = f.range;
    const QString level = tag(keyOf(kind, kFields[1]));
    const QString hysteresis = tag(keyOf(kind, kFields[2]));
    const QString delay = tag(keyOf(kind, kFields[3]));
    if (!(s.level >= r.least && s.level <= r.most)) {
        return QStringLiteral("%1 is %2, outside %3 to %4")
            .arg(level, numberInFile(s.level), numberInFile(r.least), numberInFile(r.most));
    }
    if (kind == Kind::CurveLow && !(s.delayS >= 1 && s.delayS <= kMaxCurveMinutes)) {
        return QStringLiteral("%1 is %2, outside 1 to %3 minutes")
            .arg(delay, numberInFile(s.delayS), numberInFile(kMaxCurveMinutes));
    }
    if (kind == Kind::Stopped && !(s.delayS >= 0 && s.delayS <= kMaxDelayS / 60)) {
        return QStringLiteral("%1 is %2, outside 0 to %3 minutes")
            .arg(delay, numberInFile(s.delayS), numberInFile(kMaxDelayS / 60));
    }
    if (kind == Kind::Runaway && !(s.amps >= kAmpsRange.least && s.amps <= kAmpsRange.most)) {
        return QStringLiteral("%1 is %2, outside %3 to %4")
            .arg(tag(keyOf(kind, kAmpsField)), numberInFile(s.amps), numberInFile(kAmpsRange.least),
                 numberInFile(kAmpsRange.most));
    }
    if (!(s.delayS >= 0 && s.delayS <= kMaxDelayS)) {
        return QStringLiteral("%1 is %2, outside 0 to %3 seconds")
            .arg(delay, numberInFile(s.delayS), numberInFile(kMaxDelayS));
    }
    if (!(s.hysteresis >= 0))
        return QStringLiteral("%1 is %2, below 0").arg(hysteresis, numberInFile(s.hysteresis));
    // NoData clears at the next frame; its hysteresis plays no part.
    if (kind == Kind::NoData) {
        if (s.hysteresis > kMaxDelayS)
            return QStringLiteral("%1 is %2, above %3")
                .arg(hysteresis, numberInFile(s.hysteresis), numberInFile(kMaxDelayS));
        return std::nullopt;
    }
    // The value must get past Level + Hysteresis (below alarms) or Level - Hysteresis (the
    // others) while staying within what the plant can read, or the alarm never clears.
    const double room = f.below ? r.most - s.level : s.level - r.least;
    if (s.hysteresis >= room) {
        return QStringLiteral("%1 is %2: %3 could never clear, as readings never go %4 %5")
            .arg(hysteresis, numberInFile(s.hysteresis), QString::fromLatin1(f.title),
                 f.below ? QStringLiteral("above") : QStringLiteral("below"),
                 numberInFile(f.below ? s.level + s.hysteresis : s.level - s.hysteresis));
    }
    return std::nullopt;
}

const KindFacts& facts(Kind kind)
{
    return kFacts[std::size_t(kind)];
}

QString unitOf(Kind kind, const QString& wsUnits)
{
    const char* unit = facts(kind).unit;
    return unit ? QString::fromLatin1(unit) : wsUnits.trimmed();
}

bool delayInMinutes(Kind kind)
{
    return kind == Kind::CurveLow || kind == Kind::Stopped;
}

QStringList keysOf(Kind kind)
{
    QStringList out;
    for (const QString& field : fieldsOf(kind))
        out << keyOf(kind, field);
    return out;
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

AlarmSettings stoppedDefaults(std::optional<double> cutIn, const QString& wsUnits)
{
    const auto unit = core::windUnit(wsUnits);
    const double perMetrePerSecond = unit ? 1 / unit->metresPerSecond : 1;
    const auto tenth = [](double v) {
        return std::round(v * 10) / 10;
    };
    AlarmSettings s = facts(Kind::Stopped).defaults;
    s.level = tenth(cutIn.value_or(3 * perMetrePerSecond) + 3 * perMetrePerSecond);
    s.hysteresis = tenth(perMetrePerSecond);
    return s;
}

QString alarmsCfgPath(const core::AppDir& app)
{
    return app.path(QStringLiteral("alarms.cfg"));
}

QStringList alarmsConfigKeys()
{
    QStringList out;
    for (const Kind k : kKinds)
        out << keysOf(k);
    return out << QStringLiteral("Notify") << QStringLiteral("Silence");
}

QByteArray alarmsConfigText(const QStringList& values)
{
    const QStringList names = alarmsConfigKeys();
    QByteArray out = kTitle.toLatin1() + "\r\n\r\n";
    for (qsizetype k = 0; k < names.size(); ++k) {
        const QByteArray name = names[k].toLatin1();
        out += '<' + name + '>' + values.value(k).toLatin1() + "</" + name + ">\r\n";
    }
    return out + "\r\n";
}

QByteArray alarmsConfigText(const AlarmsConfig& config)
{
    QStringList values;
    for (const Kind k : kKinds) {
        const AlarmSettings& s = config[k];
        values << QString::number(s.on ? 1 : 0) << numberInFile(s.level)
               << numberInFile(s.hysteresis) << numberInFile(s.delayS);
        if (k == Kind::Runaway)
            values << numberInFile(s.amps);
    }
    values << QString::number(config.notify ? 1 : 0) << numberInFile(config.silenceMinutes);
    return alarmsConfigText(values);
}

AlarmsConfig parseAlarmsConfig(QStringView text, QStringList* problems)
{
    AlarmsConfig read = defaultAlarmsConfig();
    QStringList found;
    if (core::firstLine(text) != kTitle) {
        found << QStringLiteral("its first line is not \"Alarm Settings\", so every alarm is off");
    } else {
        for (const Kind k : kKinds) {
            if (const auto s = readKind(text, k, found))
                read[k] = *s;
        }
        const QString notify = QStringLiteral("Notify");
        if (const auto value = core::tagValue(text, notify)) {
            if (const auto on = flagOf(notify, *value, found))
                read.notify = *on;
        }
        const QString silence = QStringLiteral("Silence");
        if (const auto value = core::tagValue(text, silence)) {
            const auto minutes = numberOf(silence, *value, found);
            if (minutes && !(*minutes > 0)) {
                found << QStringLiteral("%1 is %2, not above 0").arg(tag(silence), *value);
            } else if (minutes && *minutes > kMaxSilenceMinutes) {
                found << QStringLiteral("%1 is %2, above the %3 minutes of a day")
                             .arg(tag(silence), *value, numberInFile(kMaxSilenceMinutes));
                read.silenceMinutes = kMaxSilenceMinutes;
            } else if (minutes) {
                read.silenceMinutes = *minutes;
            }
        }
    }
    if (problems)
        *problems = found;
    return read;
}

AlarmsConfig readAlarmsConfig(const core::AppDir& app, QString* warning)
{
    const QString path = alarmsCfgPath(app);
    QString reason;
    const auto bytes = core::readWholeFile(path, &reason);
    if (!bytes) {
        if (warning)
            *warning = QStringLiteral("Alarms are off: %1 cannot be used (%2). Set them again in "
                                      "Alarms.")
                           .arg(path, reason);
        return defaultAlarmsConfig();
    }
    QStringList problems;
    const AlarmsConfig config = parseAlarmsConfig(QString::fromLatin1(*bytes), &problems);
    if (warning) {
        *warning = problems.isEmpty() ? QString()
                                      : QStringLiteral("%1 is not used as written: %2. An alarm "
                                                       "whose values cannot be used is off until "
                                                       "it is set again in Alarms.")
                                            .arg(path, problems.join(QStringLiteral("; ")));
    }
    return config;
}

bool saveAlarmsConfig(const core::AppDir& app, const AlarmsConfig& config, QString* error)
{
    return core::replaceFile(alarmsCfgPath(app), alarmsConfigText(config), error);
}

} // namespace alarms
