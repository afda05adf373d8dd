#include "monitor/logger.h"

#include "ui/messagebox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

// The main window's logging controls and its close steps; the station does the logging.
namespace monitor {

void Logger::StartLogging_Click()
{
    if (!m_station.startLogging(m_controls.delay->text()))
        ui::showMessage(this, station::kInvalidDelayMessage);
}

void Logger::StopLogging_Click()
{
    m_station.stopLogging();
}

void Logger::showLogging(bool on, const QString& intervalText)
{
    if (on)
        m_controls.delay->setText(intervalText);
    m_controls.delay->setEnabled(!on);
    m_controls.StartLogging->setEnabled(!on);
    m_controls.StopLogging->setEnabled(on);
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
    const station::CloseResult result = m_plant.close();
    if (!result.allWritten) {
        const QString text =
            result.keptIn
                ? QStringLiteral("These log lines could not be written. They are kept in %1 "
                                 "and written to their files at the next start:\n")
                      .arg(*result.keptIn)
                : QStringLiteral("These log lines could not be written, and they cannot be "
                                 "kept for the next start (%1), so they are lost:\n")
                      .arg(result.spoolError);
        const QString message = text + result.warnings.join(QLatin1Char('\n'));
        // Nobody is there to answer a message box when the system ends the program.
        if (m_endedBySystem)
            qWarning("%s", qPrintable(message));
        else
            ui::showMessage(this, message);
    }
    event->accept();
}

} // namespace monitor
