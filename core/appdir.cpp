#include "appdir.h"

#include "datetime.h"

namespace core {

QString AppDir::dailyLog(QDate date) const
{
    return logsDir() + datePart(date) + QStringLiteral(".txt");
}

} // namespace core
