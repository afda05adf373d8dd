#pragma once

#include "web/webconfig.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace web {

// The address a device on the network types: this computer's address on the way its default
// route takes; without a route, its first address that is neither loopback nor link-local, or
// its host name when it has none.
QString networkAddress();

// The address to open, with the token on the network: "http://192.168.1.20:8470/?token=...".
// host stands for the server's address when it listens on every one (0.0.0.0 or ::); an address
// of its own in web.cfg is given as it is (an IPv6 one in brackets).
QString viewAddress(const WebConfig& values, const QString& host);

// The sentence that gives it, as the Web window shows it: where to open it, and the address.
QString addressSentence(const WebConfig& values, const QString& host);

// The QR code of a text: its modules row by row, true for dark, with no quiet zone; empty when
// it cannot be made.
struct QrModules
{
    int width = 0;
    std::vector<bool> dark; // width * width
    bool at(int x, int y) const { return dark[size_t(y * width + x)]; }
};
QrModules qrModules(const QByteArray& text);

// The QR code for a terminal: two rows of modules a line in half blocks, the light ones (and
// the quiet zone of four around them) drawn, so that light text on a dark terminal reads as a
// printed code; with colours, the text is made light and the background dark whatever the
// terminal's own. Empty when it cannot be made.
QString qrText(const QByteArray& text, bool colours);

} // namespace web
