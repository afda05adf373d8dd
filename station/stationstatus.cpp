#include "station/stationstatus.h"

#include "core/serialdevices.h"

#include <QDir>

namespace station {

QString lineText(const StationStatus& status, const QString& openAdvice, bool* accessProblem)
{
    bool access = false;
    const QString text = core::lineStatusText(
        status.line, status.portText,
        core::openFailedAdvice(status.line, openAdvice.arg(status.portNumber), &access));
    if (accessProblem)
        *accessProblem = access;
    return text;
}

QString staleText(const QDateTime& since, QDate today)
{
    QString text = QStringLiteral("No data since ") + since.time().toString(u"HH:mm:ss");
    if (since.date() != today)
        text += QStringLiteral(" on ") + since.date().toString(Qt::ISODate);
    return text;
}

QString diskSilentText(const StationStatus& status, const core::AppDir& app)
{
    if (!status.diskSilentSince)
        return {};
    return QStringLiteral("The folder %1 has not answered since %2: records wait in memory and "
                          "are kept for the next start if it does not come back.")
        .arg(QDir::toNativeSeparators(app.dir),
             status.diskSilentSince->time().toString(u"HH:mm:ss"));
}

} // namespace station
