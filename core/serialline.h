#pragma once

#include "core/appdir.h"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class QIODevice;

namespace core {

// The device that port number n opens: the application directory's "com<n>" link when it is
// there (resolved to its target, so each device gets its own lock), otherwise the platform's
// n-th serial port (/dev/ttyS<n-1>, COM<n>).
QString portDevice(const AppDir& app, int port);

// The logger board's line: 4800 baud, no parity, 8 data bits, 1 stop bit.
inline const QString kLineSettings = QStringLiteral("4800,N,8,1");

// Baud rate, parity, data bits and stop bits from a text such as "4800,N,8,1"; nullopt when
// any part is missing or not one the serial port knows.
struct LineSettings
{
    qint32 baudRate = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};
std::optional<LineSettings> parseLineSettings(QStringView text);

// Without a frame, a receive buffer keeps at most this many of the latest characters, so a line
// that never sends a bracket cannot grow it without end.
constexpr qsizetype kReceiveBufferLimit = 4096;

// Appends received text to the buffer. Once the buffer holds both "[" and "]" (in either order)
// the buffer is the frame: it is returned and the buffer emptied, except that the start of the
// next frame (a "[" after the last "]", when a "[" stands before that "]") stays in the buffer.
std::optional<QString> takeFrame(QString& buffer, QStringView received);

// Where a line stands, for the window's status text.
struct LineStatus
{
    enum class State
    {
        Closed,     // never opened, or closed by the window
        NotAPort,   // the port number is below 1: nothing to open, no retry
        Open,       // open at the line settings
        OpenFailed, // the device would not open; retrying
        Lost        // an open line failed (unplugged, other end gone); retrying
    };
    State state = State::Closed;
    int port = 0;
    QString device;
    QString reason; // the device's own words for OpenFailed and Lost
};

// "Port 1 (/dev/ttyUSB0) open at 4800,N,8,1", "Port 1 (...): line lost: ... Trying again every 5
// seconds." and the like. portText names a port that is no number; openFailedAdvice follows the
// reason of a failed open. Closed gives an empty text.
QString lineStatusText(const LineStatus& status, const QString& portText,
                       const QString& openFailedAdvice);

// One serial line to the logger board, as a window's port (MSComm1, MSComm2) uses it: opens
// port n at the line settings, gathers received text into its receive buffer and announces each
// notification with the frame it completed, closes the line when the other end goes away and
// tries again every few seconds until it opens.
class SerialLine : public QObject
{
    Q_OBJECT
public:
    // Opens a device for reading and writing, or returns null with the reason. The default opens
    // a QSerialPort at the line settings; a test may hand in any QIODevice.
    using Opener = std::function<std::unique_ptr<QIODevice>(const QString& device, QString* error)>;

    static constexpr int kRetryMs = 5000;

    SerialLine(const QString& name, const AppDir& app, QObject* parent = nullptr);
    ~SerialLine() override;

    void setOpener(Opener opener) { m_opener = std::move(opener); }
    void setRetryInterval(int ms) { m_retry.setInterval(ms); }

    // Opens port n (closing what is open). A failure starts the retry; a port below 1 does not.
    void open(int port);
    // Closes the line and stops any retry; the receive buffer keeps its text.
    void close();

    bool isOpen() const;
    bool retrying() const { return m_retry.isActive(); }
    const LineStatus& status() const { return m_status; }
    const QString& receiveBuffer() const { return m_receiveBuffer; }

    // An error the device reported. ReadError, ResourceError and WriteError mean the line is gone
    // (a pseudo-terminal's other end closed, a USB adapter pulled): left open, the port would
    // repeat them endlessly, so it is closed and retried. Every error also counts as a
    // notification, as the windows' receive handlers have always run on errors.
    void deviceError(QSerialPort::SerialPortError error, const QString& reason);

signals:
    // One notification of the line: the frame it completed, or an empty text when it completed
    // none (a frame always holds its brackets, so it is never empty).
    void comm(const QString& frame);
    void statusChanged();

private:
    void notified();
    void setStatus(LineStatus::State state, const QString& reason = {});

    AppDir m_app;
    Opener m_opener;
    std::unique_ptr<QIODevice> m_device;
    QString m_receiveBuffer;
    LineStatus m_status;
    QTimer m_retry;
};

} // namespace core
