#include "core/serialline.h"

#include <QFileInfo>

namespace core {
namespace {

std::unique_ptr<QIODevice> openSerialPort(const QString& device, QString* error)
{
    const auto settings = parseLineSettings(kLineSettings);
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(device);
    port->setBaudRate(settings->baudRate);
    port->setParity(settings->parity);
    port->setDataBits(settings->dataBits);
    port->setStopBits(settings->stopBits);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (!port->open(QIODevice::ReadWrite)) {
        *error = port->errorString();
        return nullptr;
    }
    return port;
}

} // namespace

QString portDevice(const AppDir& app, int port)
{
    const QFileInfo link(app.comLink(port));
    if (link.isSymLink() || link.exists()) {
        const QString target = link.canonicalFilePath();
        return target.isEmpty() ? link.absoluteFilePath() : target;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

std::optional<LineSettings> parseLineSettings(QStringView text)
{
    const auto parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    LineSettings s;
    bool ok = false;
    s.baudRate = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baudRate <= 0)
        return std::nullopt;
    const QString parity = parts[1].trimmed().toString().toUpper();
    if (parity == QLatin1String("N"))
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("M"))
        s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        s.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;
    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return std::nullopt;
    s.dataBits = QSerialPort::DataBits(bits);
    const QStringView stop = parts[3].trimmed();
    if (stop == u"1")
        s.stopBits = QSerialPort::OneStop;
    else if (stop == u"1.5")
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == u"2")
        s.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return s;
}

std::optional<QString> takeFrame(QString& buffer, QStringView received)
{
    buffer += received;
    std::optional<QString> frame;
    if (buffer.contains(QLatin1Char('[')) && buffer.contains(QLatin1Char(']'))) {
        // A "[" after the last "]" that follows a whole "[...]" starts the next frame: it stays,
        // so a frame cut across two reads is never lost or spliced.
        const qsizetype close = buffer.lastIndexOf(QLatin1Char(']'));
        const qsizetype next = buffer.indexOf(QLatin1Char('['), close);
        const bool startsNext = next > close && buffer.lastIndexOf(QLatin1Char('['), close) >= 0;
        frame = startsNext ? buffer.left(close + 1) : buffer;
        buffer = startsNext ? buffer.mid(close + 1) : QString();
    }
    if (buffer.size() > kReceiveBufferLimit)
        buffer.remove(0, buffer.size() - kReceiveBufferLimit);
    return frame;
}

QString lineStatusText(const LineStatus& s, const QString& portText,
                       const QString& openFailedAdvice)
{
    using State = LineStatus::State;
    switch (s.state) {
    case State::Closed:
        return {};
    case State::NotAPort:
        return QStringLiteral("Port \"%1\" is not a port number. Choose a port in Setup.")
            .arg(portText);
    case State::Open:
        return QStringLiteral("Port %1 (%2) open at %3").arg(s.port).arg(s.device, kLineSettings);
    case State::OpenFailed:
        return QStringLiteral("Port %1 (%2): cannot open: %3. %4")
            .arg(s.port)
            .arg(s.device, s.reason, openFailedAdvice);
    case State::Lost:
        return QStringLiteral("Port %1 (%2): line lost: %3. Trying again every 5 seconds.")
            .arg(s.port)
            .arg(s.device, s.reason);
    }
    return {};
}

SerialLine::SerialLine(const QString& name, const AppDir& app, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_opener(openSerialPort)
{
    setObjectName(name);
    m_retry.setInterval(kRetryMs);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { open(m_status.port); });
}

SerialLine::~SerialLine()
{
    close();
}

void SerialLine::open(int port)
{
    close();
    m_status.port = port;
    if (port < 1) {
        m_status.device.clear();
        setStatus(LineStatus::State::NotAPort);
        return;
    }
    m_status.device = portDevice(m_app, port);
    QString error;
    m_device = m_opener(m_status.device, &error);
    if (!m_device) {
        setStatus(LineStatus::State::OpenFailed, error);
        m_retry.start();
        return;
    }
    connect(m_device.get(), &QIODevice::readyRead, this, &SerialLine::notified);
    if (auto* serial = qobject_cast<QSerialPort*>(m_device.get())) {
        connect(serial, &QSerialPort::errorOccurred, this,
                [this, serial](QSerialPort::SerialPortError e) {
                    deviceError(e, serial->errorString());
                });
    }
    setStatus(LineStatus::State::Open);
}

void SerialLine::close()
{
    m_retry.stop();
    if (m_device) {
        m_device->disconnect(this);
        m_device->close();
        m_device.reset();
    }
    m_status.state = LineStatus::State::Closed;
    m_status.reason.clear();
}

bool SerialLine::isOpen() const
{
    return m_device && m_device->isOpen();
}

void SerialLine::deviceError(QSerialPort::SerialPortError error, const QString& reason)
{
    if (error == QSerialPort::NoError || !isOpen())
        return;
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
        error == QSerialPort::WriteError) {
        // Only closed here: this runs inside the device's own signal, so the device object is
        // let go at the next open or close.
        m_device->close();
        setStatus(LineStatus::State::Lost, reason);
        m_retry.start();
    }
    notified();
}

void SerialLine::notified()
{
    QString frame;
    if (isOpen()) {
        // Everything waiting is read and kept: at 4800 baud a frame comes in pieces, and a
        // byte dropped between two reads would splice them ("500.25" read as "50025").
        const QByteArray bytes = m_device->readAll();
        frame = takeFrame(m_receiveBuffer, QString::fromLatin1(bytes)).value_or(QString());
    }
    emit comm(frame);
}

void SerialLine::setStatus(LineStatus::State state, const QString& reason)
{
    m_status.state = state;
    m_status.reason = reason;
    emit statusChanged();
}

} // namespace core
