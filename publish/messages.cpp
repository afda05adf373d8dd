#include "publish/messages.h"

#include "core/numbers.h"
#include "core/version.h"
#include "core/windunits.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <optional>

namespace publish {
namespace {

// Indexed by core::Quantity; a new quantity needs its row here.
constexpr core::PerQuantity<PublishFacts> kPublishFacts{{
    {"volts", "Volts", nullptr, "V", "voltage", "measurement"},
    {"amps", "Amps", nullptr, "A", "current", "measurement"},
    {"watts", "Watts", nullptr, "W", "power", "measurement"},
    // The total restarts each midnight; total_increasing reads a drop as a reset, not a loss.
    {"watt_hours", "Watt Hours", "Wh", "Wh", "energy", "total_increasing"},
    {"rpm", "Mill RPM", nullptr, "rpm", nullptr, "measurement"},
    {"wind_speed", "Wind Speed", nullptr, nullptr, "wind_speed", "measurement"},
}};

static_assert(
    [] {
        for (const PublishFacts& f : kPublishFacts) {
            if (f.key[0] == '\0' || f.entityName[0] == '\0')
                return false;
        }
        return true;
    }(),
    "every quantity needs its key and name for publishing");

// The page's 15 significant digits, so the JSON never shows 0.30000000000000004.
double jsonNumber(double value)
{
    const double v = core::finiteOrZero(value);
    return QByteArray::number(v, 'g', 15).toDouble();
}

// The units Home Assistant knows for the wind_speed class, from what users type in WSUnits.
std::optional<QString> haWindUnit(const QString& wsUnits)
{
    if (const std::optional<core::WindUnit> unit = core::windUnit(wsUnits))
        return unit->name;
    return std::nullopt;
}

QString key(core::Quantity q)
{
    return QString::fromLatin1(publishFacts(q).key);
}

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

struct DiscoveryEntity
{
    QByteArray component; // "sensor" or "binary_sensor"
    QString objectId;
    QJsonObject config;
};

std::vector<DiscoveryEntity> entities(const DiscoveryInputs& in)
{
    const Topics topics = topicsFor(in.baseTopic, in.name);
    const QString idBase = uniqueIdBase(in.baseTopic, in.name);
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{idBase}},
        {QStringLiteral("name"), in.name},
        {QStringLiteral("model"), in.program},
        {QStringLiteral("manufacturer"), in.program},
        {QStringLiteral("sw_version"), QString::fromLatin1(core::kVersion)},
    };
    // What sent the config, as Home Assistant asks of every discovery message.
    const QJsonObject origin{
        {QStringLiteral("name"), in.program},
        {QStringLiteral("sw_version"), QString::fromLatin1(core::kVersion)},
    };
    auto common = [&](const QString& objectId, const QString& name, const QString& valueKey) {
        return QJsonObject{
            {QStringLiteral("name"), name},
            {QStringLiteral("unique_id"), idBase + QLatin1Char('_') + objectId},
            {QStringLiteral("state_topic"), QString::fromUtf8(topics.state)},
            {QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(valueKey)},
            {QStringLiteral("availability_topic"), QString::fromUtf8(topics.status)},
            {QStringLiteral("payload_available"), QString::fromLatin1(kOnline)},
            {QStringLiteral("payload_not_available"), QString::fromLatin1(kOffline)},
            {QStringLiteral("device"), device},
            {QStringLiteral("origin"), origin},
        };
    };

    std::vector<DiscoveryEntity> out;
    for (const core::Quantity q : core::kAllQuantities) {
        const PublishFacts& f = publishFacts(q);
        QJsonObject config = common(key(q), QString::fromLatin1(f.entityName), key(q));
        QString unit = f.haUnit ? QString::fromLatin1(f.haUnit) : in.wsUnits.trimmed();
        const char* deviceClass = f.deviceClass;
        if (!f.haUnit) {
            // Home Assistant refuses a wind_speed sensor in a unit it does not know.
            const auto known = haWindUnit(in.wsUnits);
            if (known)
                unit = *known;
            else
                deviceClass = nullptr;
        }
        if (!unit.isEmpty())
            config.insert(QStringLiteral("unit_of_measurement"), unit);
        if (deviceClass)
            config.insert(QStringLiteral("device_class"), QString::fromLatin1(deviceClass));
        config.insert(QStringLiteral("state_class"), QString::fromLatin1(f.stateClass));
        out.push_back({"sensor", key(q), config});
    }
    QJsonObject load = common(QStringLiteral("load"), QStringLiteral("Load"), QString());
    load.insert(QStringLiteral("value_template"),
                QStringLiteral("{{ 'ON' if value_json.load else 'OFF' }}"));
    load.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
    load.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
    load.insert(QStringLiteral("device_class"), QStringLiteral("power"));
    out.push_back({"binary_sensor", QStringLiteral("load"), load});
    return out;
}

QByteArray discoveryTopic(const DiscoveryEntity& e, const QString& idBase)
{
    return "homeassistant/" + e.component + '/' + idBase.toUtf8() + '/' + e.objectId.toUtf8() +
           "/config";
}

} // namespace

const PublishFacts& publishFacts(core::Quantity q)
{
    return kPublishFacts[std::size_t(q)];
}

QString unitOf(core::Quantity q, const QString& wsUnits)
{
    if (const char* unit = publishFacts(q).unit)
        return QString::fromLatin1(unit);
    return core::unitText(core::facts(q).shortUnit, wsUnits);
}

Topics topicsFor(const QString& baseTopic, const QString& name)
{
    const QByteArray root = baseTopic.toUtf8() + '/' + name.toUtf8() + '/';
    return {root + "status", root + "state", root + "record"};
}

QString isoTime(const QDateTime& at)
{
    const int offset = at.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return at.date().toString(Qt::ISODate) + QLatin1Char('T') +
           at.time().toString(QStringLiteral("HH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray stateMessage(const core::QuantityValues& values, double wattHours, std::int16_t mode,
                        const QString& wsUnits, const QDateTime& at)
{
    QJsonObject out;
    for (const core::Quantity q : core::kAllQuantities)
        out.insert(key(q), jsonNumber(q == core::kWattHours ? wattHours : values[q]));
    out.insert(QStringLiteral("wind_unit"), wsUnits);
    out.insert(QStringLiteral("load"), mode == 1);
    out.insert(QStringLiteral("time"), isoTime(at));
    return compact(out);
}

QByteArray recordMessage(const core::QuantityValues& peaks, std::int16_t mode,
                         const QString& wsUnits, const QDateTime& at)
{
    QJsonObject out;
    for (const core::Quantity q : core::kLogged)
        out.insert(key(q), jsonNumber(peaks[q]));
    out.insert(QStringLiteral("wind_unit"), wsUnits);
    out.insert(QStringLiteral("mode"), int(mode));
    out.insert(QStringLiteral("load"), mode == 1);
    out.insert(QStringLiteral("date"), at.date().toString(Qt::ISODate));
    out.insert(QStringLiteral("time"), at.time().toString(QStringLiteral("HH:mm:ss")));
    out.insert(QStringLiteral("timestamp"), isoTime(at));
    return compact(out);
}

QString statusJsonPath(const core::AppDir& app)
{
    return app.path(QStringLiteral("html/status.json"));
}

QByteArray statusJson(const core::QuantityValues& peaks, double wattHourTotal, std::int16_t mode,
                      const QString& wsUnits, const QDateTime& at)
{
    QJsonObject out;
    QJsonObject units;
    for (const core::Quantity q : core::kAllQuantities) {
        out.insert(key(q), jsonNumber(q == core::kWattHours ? wattHourTotal : peaks[q]));
        units.insert(key(q), unitOf(q, wsUnits));
    }
    out.insert(QStringLiteral("units"), units);
    out.insert(QStringLiteral("mode"), int(mode));
    out.insert(QStringLiteral("load"), mode == 1);
    out.insert(QStringLiteral("time"), isoTime(at));
    return QJsonDocument(out).toJson(QJsonDocument::Indented);
}

std::vector<Message> discoveryMessages(const DiscoveryInputs& in)
{
    const QString idBase = uniqueIdBase(in.baseTopic, in.name);
    std::vector<Message> out;
    for (const DiscoveryEntity& e : entities(in))
        out.push_back({discoveryTopic(e, idBase), compact(e.config), 1, true});
    return out;
}

std::vector<Message> discoveryRemovals(const DiscoveryInputs& in)
{
    const QString idBase = uniqueIdBase(in.baseTopic, in.name);
    std::vector<Message> out;
    for (const DiscoveryEntity& e : entities(in))
        out.push_back({discoveryTopic(e, idBase), QByteArray(), 1, true});
    return out;
}

QString uniqueIdBase(const QString& baseTopic, const QString& name)
{
    const QString plainText = baseTopic + QLatin1Char('_') + name;
    QString out;
    for (const QChar c : plainText) {
        const char16_t u = c.toLower().unicode();
        const bool plain = (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9');
        if (plain)
            out += QChar(u);
        else if (!out.endsWith(QLatin1Char('_')))
            out += QLatin1Char('_');
    }
    while (out.endsWith(QLatin1Char('_')))
        out.chop(1);
    if (out.isEmpty())
        out = QStringLiteral("tessaly");
    // Names the slug leaves as they are keep their ids, and Home Assistant its history; any other
    // gets a hash of its exact bytes, so "Plant 1" and "plant-1" never share entities.
    if (out == plainText)
        return out;
    const QByteArray exact = baseTopic.toUtf8() + '/' + name.toUtf8();
    return out + QLatin1Char('_') +
           QString::fromLatin1(
               QCryptographicHash::hash(exact, QCryptographicHash::Sha1).toHex().left(8));
}

} // namespace publish
