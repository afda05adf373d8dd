#pragma once

#include "alarms/alarmconfig.h"
#include "publish/messages.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace alarms {

// "<base>/<name>/alarm/BattLow".
QByteArray alarmTopic(const QString& baseTopic, const QString& name, Kind kind);

// The alarm's state on its topic: "ON" or "OFF", retained, QoS 1.
publish::Message alarmStateMessage(const QString& baseTopic, const QString& name, Kind kind,
                                   bool raised);

// Home Assistant discovery of one binary sensor per alarm that is on (device class "battery"
// for BattLow, "problem" for the others), on the plant's device and with its availability; an
// alarm that is off, or every alarm when discovery is off, gets its empty retained config, which
// takes the entity away again. One for every kind, in the order of kKinds.
std::vector<publish::Message> alarmDiscovery(const publish::DiscoveryInputs& in,
                                             const AlarmsConfig& config, bool discovery);

} // namespace alarms
