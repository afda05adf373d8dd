#include "alarms/alarmlog.h"

#include "core/datetime.h"
#include "core/files.h"
#include "core/numbers.h"

#include <QDir>

namespace alarms {

QString alarmLogPath(const core::AppDir& app)
{
    return app.logsDir() + QStringLiteral("alarms.txt");
}

QByteArray alarmLogLine(Kind kind, bool raised, double value, const QDateTime& at,
                        const QLocale& locale)
{
    return "<A>" + QByteArray(facts(kind).key) + "</A><S>" + (raised ? "on" : "off") + "</S><D>" +
           core::datePart(at.date()).toLatin1() + "</D><T>" +
           at.time().toString(QStringLiteral("HH:mm:ss")).toLatin1() + "</T><VAL>" +
           core::numberText(value, locale).toLatin1() + "</VAL>\r\n";
}

logging::FileWrite alarmLogWrite(const core::AppDir& app, Kind kind, bool raised, double value,
                                 const QDateTime& at, const QLocale& locale)
{
    logging::FileWrite write;
    write.path = alarmLogPath(app);
    write.bytes = alarmLogLine(kind, raised, value, at, locale);
    write.kind = logging::FileWrite::Kind::Append;
    write.records = {write.bytes.size()};
    return write;
}

bool appendAlarmLog(const core::AppDir& app, Kind kind, bool raised, double value,
                    const QDateTime& at, QString* error)
{
    QDir().mkpath(app.logsDir());
    return core::appendWhole(alarmLogPath(app), alarmLogLine(kind, raised, value, at), {}, error);
}

} // namespace alarms
