#include "web/webaddress.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QUdpSocket>
#include <memory>
#include <qrencode.h>

namespace web {
namespace {

constexpr int kQuietZone = 4;

} // namespace

QString networkAddress()
{
    // The address the kernel would send from to a host outside (a documentation address): that
    // of the interface the default route takes, not a container bridge's or a tunnel's. A UDP
    // socket's connect sends nothing.
    QUdpSocket probe;
    probe.connectToHost(QHostAddress(QStringLiteral("192.0.2.1")), 9);
    if (probe.waitForConnected(1000)) {
        const QHostAddress local = probe.localAddress();
        if (!local.isNull() && !local.isLoopback() && !local.isLinkLocal())
            return local.toString();
    }
    // No route out: the first address that is neither loopback nor link-local.
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback() &&
            !address.isLinkLocal())
            return address.toString();
    }
    return QHostInfo::localHostName();
}

QString viewAddress(const WebConfig& values, const QString& host)
{
    // An address of its own in web.cfg is the one the server listens on, so the one to open;
    // only on every address does the host stand for it.
    const QHostAddress address(values.Address);
    const bool every = address.isNull() || address == QHostAddress(QHostAddress::AnyIPv4) ||
                       address == QHostAddress(QHostAddress::AnyIPv6);
    const QString name = every ? host
                         : address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    if (address.isLoopback())
        return QStringLiteral("http://%1:%2/").arg(name, values.Port);
    return QStringLiteral("http://%1:%2/?token=%3").arg(name, values.Port, values.Token);
}

QString addressSentence(const WebConfig& values, const QString& host)
{
    const QString address = viewAddress(values, host);
    return QHostAddress(values.Address).isLoopback()
               ? QStringLiteral("On this computer, open %1").arg(address)
               : QStringLiteral("On a phone or computer in the house, open %1").arg(address);
}

QrModules qrModules(const QByteArray& text)
{
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    QrModules modules;
    if (!code)
        return modules;
    modules.width = code->width;
    modules.dark.resize(size_t(code->width * code->width));
    for (size_t k = 0; k < modules.dark.size(); ++k)
        modules.dark[k] = code->data[k] & 1;
    return modules;
}

QString qrText(const QByteArray& text, bool colours)
{
    const QrModules modules = qrModules(text);
    if (modules.width == 0)
        return {};
    const int size = modules.width + 2 * kQuietZone;
    auto light = [&](int x, int y) {
        x -= kQuietZone;
        y -= kQuietZone;
        return x < 0 || y < 0 || x >= modules.width || y >= modules.width || !modules.at(x, y);
    };
    QString out;
    for (int y = 0; y < size; y += 2) {
        if (colours)
            out += QStringLiteral("\x1b[97;40m");
        for (int x = 0; x < size; ++x) {
            const bool top = light(x, y);
            const bool bottom = y + 1 < size && light(x, y + 1);
            out += top && bottom ? u'\u2588' : top ? u'\u2580' : bottom ? u'\u2584' : u' ';
        }
        if (colours)
            out += QStringLiteral("\x1b[0m");
        out += u'\n';
    }
    return out;
}

} // namespace web
