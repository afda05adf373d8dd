#include "monitor/logger.h"

#include "core/files.h"
#include "core/messagebox.h"
#include "logging/logcontrol.h"
#include "logging/spool.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

// The main window's logging: starting and stopping it, the tick that writes a record, the
// records that wait for their files and their spool, and the close steps that keep them.
namespace monitor {

void Logger::Timer1_Timer()
{
    lampOn(m_controls.BlinkLog);
    const logging::RecordInputs in{m_peaks,
                                   m_reading.mode,
                                   m_clock.now(),
                                   m_wattHourTotal,
                                   m_programConfig.WSUnits,
                                   config::flagOn(m_programConfig.Savehtml),
                                   config::flagOn(m_programConfig.SaveExcel)};
    m_templateWarning.clear();
    // Behind anything still waiting, so every file keeps its records in order.
    for (logging::FileWrite& write : logging::recordWrites(m_app, in, &m_templateWarning))
        m_pendingWrites.add(std::move(write));
    // For web dashboards, beside the page; only while publishing is on, so with it off the
    // folder holds exactly what it always did.
    if (in.saveHtml && m_publisher.enabled()) {
        m_pendingWrites.add(
            {publish::statusJsonPath(m_app),
             publish::statusJson(m_peaks.peak, m_wattHourTotal, m_reading.mode, in.wsUnits, in.now),
             logging::FileWrite::Kind::Replace,
             {}});
    }
    writePendingRecords();
    m_publisher.onRecord(m_peaks.peak, m_reading.mode, in.now);
    m_peaks = IntervalPeaks{};
}

void Logger::writePendingRecords()
{
    const std::size_t before = m_pendingWrites.records();
    m_logWarnings = logging::failureWarnings(logging::writePending(m_pendingWrites));
    if (m_pendingWrites.empty())
        m_writeRetry.stop();
    else
        m_writeRetry.start();
    keepSpoolInStep(before);
    showStatus();
}

// Records kept by the last run go to their files before any new one.
void Logger::restoreSpool()
{
    logging::SpooledWrites spooled = logging::loadSpool(m_app);
    QStringList notes = spooled.problems;
    if (!spooled.files.isEmpty()) {
        for (auto it = spooled.writes.rbegin(); it != spooled.writes.rend(); ++it)
            m_pendingWrites.queue.push_front(std::move(*it));
        m_spoolFile = spooled.files.back();
        const std::size_t kept = m_pendingWrites.records();
        writePendingRecords();
        const std::size_t written = kept - m_pendingWrites.records();
        notes.prepend(QStringLiteral("%1 of %2 lines kept from the last run in %3 were written.")
                          .arg(written)
                          .arg(kept)
                          .arg(spooled.files.join(QStringLiteral(", "))));
    }
    if (!spooled.problems.isEmpty())
        notes.prepend(QStringLiteral("Lines kept from the last run could not be read:"));
    m_spoolNotice = notes.join(QLatin1Char('\n'));
    showStatus();
}

// The spool mirrors what waits, so a killed program loses little: it is rewritten whenever a
// waiting record reached its file (a stale spool would write it twice at the next start), at
// most once a minute while records only pile up behind a full disk, and removed when nothing
// waits.
void Logger::keepSpoolInStep(std::size_t recordsBefore)
{
    if (m_pendingWrites.empty()) {
        if (!m_spoolFile.isEmpty())
            logging::removeSpool(m_app);
        m_spoolFile.clear();
        return;
    }
    const QDateTime now = m_clock.now();
    const qsizetype bytes = m_pendingWrites.bytes();
    const bool wroteSome = m_pendingWrites.records() < recordsBefore;
    const bool unchanged = bytes == m_spooledBytes;
    const bool cheap = bytes < 1024 * 1024;
    const bool due = !m_spoolSavedAt.isValid() || m_spoolSavedAt.secsTo(now) >= 60;
    if (!m_spoolFile.isEmpty() && !wroteSome && (unchanged || (!cheap && !due)))
        return;
    QString error;
    if (const auto file = logging::saveSpool(m_app, m_pendingWrites, &error)) {
        m_spoolFile = *file;
        m_spoolSavedAt = now;
        m_spooledBytes = bytes;
    } else {
        m_spoolFile.clear();
        m_spoolNotice = QStringLiteral("The waiting lines cannot be kept for a restart: ") + error;
    }
}

void Logger::startLogging(bool fromStartup)
{
    const auto interval = logging::checkDelay(m_controls.delay->text());
    if (!interval) {
        if (!fromStartup)
            core::showMessage(this, logging::kInvalidDelayMessage);
        return;
    }
    m_controls.delay->setText(interval->text);
    m_Timer1.setInterval(interval->milliseconds);
    m_controls.delay->setEnabled(false);
    m_controls.StartLogging->setEnabled(false);
    m_controls.StopLogging->setEnabled(true);
    m_Timer1.start();
    m_peaks = IntervalPeaks{};
}

void Logger::StartLogging_Click()
{
    startLogging(false);
}

void Logger::StopLogging_Click()
{
    m_controls.StartLogging->setEnabled(true);
    m_controls.delay->setEnabled(true);
    m_controls.StopLogging->setEnabled(false);
    m_Timer1.stop();
}

void Logger::endBySystem(int signal)
{
    m_endedBySystem = true;
    qInfo("Ending on signal %d", signal);
    // A window or message box open over this one ends first; the close itself waits until
    // its loop has unwound.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
            dialog->reject();
    }
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void Logger::closeEvent(QCloseEvent* event)
{
    m_Timer1.stop();
    m_MSComm1.close();
    if (!m_pendingWrites.empty()) {
        writePendingRecords();
        if (!m_pendingWrites.empty()) {
            QString error;
            const auto kept = logging::saveSpool(m_app, m_pendingWrites, &error);
            const QString text =
                kept ? QStringLiteral("These log lines could not be written. They are kept in %1 "
                                      "and written to their files at the next start:\n")
                           .arg(*kept)
                     : QStringLiteral("These log lines could not be written, and they cannot be "
                                      "kept for the next start (%1), so they are lost:\n")
                           .arg(error);
            const QString message = text + m_logWarnings.join(QLatin1Char('\n'));
            // Nobody is there to answer a message box when the system ends the program.
            if (m_endedBySystem)
                qWarning("%s", qPrintable(message));
            else
                core::showMessage(this, message);
        }
    }
    event->accept();
}

} // namespace monitor
