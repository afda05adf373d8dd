#pragma once

#include <QMetaType>
#include <QString>

namespace web {

// The web server's state as values; each view words it for its own place.
struct WebState
{
    enum class Kind
    {
        Off,       // web.cfg says off, or is damaged (warning says why)
        Listening, // at address:port
        PortTaken, // another program has the port; the plant runs on without the server
        Failed     // could not listen for another reason (error)
    };
    Kind kind = Kind::Off;
    QString address;
    quint16 port = 0;
    bool token = false; // every device on the network, with the token
    QString error;      // the system's words when it could not listen
    QString warning;    // why web.cfg could not be used

    bool operator==(const WebState&) const = default;
};

// "Web view: http://127.0.0.1:8470/", "Web view: port 8470 is taken by another program. ..." and
// the like, for the status line and the journal; empty while off without a warning.
QString webStateText(const WebState& state);

} // namespace web

Q_DECLARE_METATYPE(web::WebState)
