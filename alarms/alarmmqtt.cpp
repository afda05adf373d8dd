#include "alarms/alarmmqtt.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace alarms {
namespace {

QString objectId(Kind kind)
{
    return QStringLiteral("alarm_") + QString::fromLatin1(facts(kind).key).toLower();
}

QJsonObject discoveryConfig(const publish::DiscoveryInputs& in, Kind kind)
{
    const QString idBase = publish::uniqueIdBase(in.baseTopic, in.name);
    const publish::Topics topics = publish::topicsFor(in.baseTopic, in.name);
    return QJsonObject{
        {QStringLiteral("name"), QString::fromLatin1(facts(kind).title)},
        {QStringLiteral("unique_id"), idBase + QLatin1Char('_') + objectId(kind)},
        {QStringLiteral("state_topic"), QString::fromUtf8(alarmTopic(in.baseTopic, in.name, kind))},
        {QStringLiteral("payload_on"), QStringLiteral("ON")},
        {QStringLiteral("payload_off"), QStringLiteral("OFF")},
        {QStringLiteral("device_class"), QString::fromLatin1(facts(kind).deviceClass)},
        {QStringLiteral("availability_topic"), QString::fromUtf8(topics.status)},
        {QStringLiteral("payload_available"), QString::fromLatin1(publish::kOnline)},
        {QStringLiteral("payload_not_available"), QString::fromLatin1(publish::kOffline)},
        // The identifiers alone join the plant's own device, which its sensors describe.
        {QStringLiteral("device"),
         QJsonObject{{QStringLiteral("identifiers"), QJsonArray{idBase}}}},
    };
}

} // namespace

QByteArray alarmTopic(const QString& baseTopic, const QString& name, Kind kind)
{
    return baseTopic.toUtf8() + '/' + name.toUtf8() + "/alarm/" + facts(kind).key;
}

publish::Message alarmStateMessage(const QString& baseTopic, const QString& name, Kind kind,
                                   bool raised)
{
    return {alarmTopic(baseTopic, name, kind), raised ? "ON" : "OFF", 1, true};
}

std::vector<publish::Message> alarmDiscovery(const publish::DiscoveryInputs& in,
                                             const AlarmsConfig& config, bool discovery)
{
    const QByteArray idBase = publish::uniqueIdBase(in.baseTopic, in.name).toUtf8();
    std::vector<publish::Message> out;
    for (const Kind k : kKinds) {
        const QByteArray topic =
            "homeassistant/binary_sensor/" + idBase + '/' + objectId(k).toUtf8() + "/config";
        const QByteArray payload =
            discovery && config[k].on
                ? QJsonDocument(discoveryConfig(in, k)).toJson(QJsonDocument::Compact)
                : QByteArray();
        out.push_back({topic, payload, 1, true});
    }
    return out;
}

} // namespace alarms
