// The alarms' readers on any bytes: alarms.cfg gives only settings that can be used, within
// their ranges, and reads back alike once written.
#include "alarms/alarmconfig.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const alarms::AlarmsConfig c = alarms::parseAlarmsConfig(text);
    for (const alarms::Kind k : alarms::kKinds) {
        if (alarms::settingsProblem(k, c[k]))
            std::abort();
    }
    if (!(c.silenceMinutes > 0 && c.silenceMinutes <= alarms::kMaxSilenceMinutes))
        std::abort();
    QStringList problems;
    if (alarms::parseAlarmsConfig(QString::fromLatin1(alarms::alarmsConfigText(c)), &problems) !=
            c ||
        !problems.isEmpty())
        std::abort();
    return 0;
}
