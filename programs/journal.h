#pragma once

#include "plant/plant.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace programs {

// What the main window's status line would say, for a plant with no window: one line per change
// to standard error (the journal, under systemd), never the same line twice in a row, and the
// line that matters most handed on as the service's status.
class Journal : public QObject
{
    Q_OBJECT
public:
    using Sink = std::function<void(const QString& line)>;
    // sink gets each line for the journal; status the one-line summary whenever it changes.
    Journal(plant::Plant& plant, Sink sink, Sink status, QObject* parent = nullptr);

    // The lines the status line would show now, most important first.
    QStringList lines() const;

private:
    void statusChanged();
    void alarmChanged(alarms::Kind kind, bool raised, double value, const QDateTime& since);

    plant::Plant& m_plant;
    Sink m_sink;
    Sink m_status;
    QStringList m_shown;
    QString m_summary;
};

} // namespace programs
