// The alarms' readers on any bytes: alarms.cfg gives only settings that can be used, within
// their ranges, and reads back alike once written; the log gives at most one whole state per
// kind; published.cfg gives topics that read back alike once written.
#include "alarms/alarmconfig.h"
#include "alarms/alarmlog.h"
#include "publish/publishedtopics.h"

#include <cmath>

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
    const auto states = alarms::lastLoggedStates(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (states.size() > alarms::kKindCount)
        std::abort();
    for (std::size_t k = 0; k < states.size(); ++k) {
        if (!states[k].at.isValid() || !std::isfinite(states[k].value) ||
            (k > 0 && states[k - 1].kind >= states[k].kind))
            std::abort();
    }
    const auto topics = publish::parsePublishedTopics(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (topics.count(QByteArray()) ||
        publish::parsePublishedTopics(publish::publishedTopicsText(topics)) != topics)
        std::abort();
    return 0;
}
