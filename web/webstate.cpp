#include "web/webstate.h"

namespace web {

QString webStateText(const WebState& state)
{
    switch (state.kind) {
    case WebState::Kind::Off:
        return state.warning;
    case WebState::Kind::Listening:
        if (state.token) {
            return QStringLiteral("Web view: every device on the network, port %1, with the token")
                .arg(state.port);
        }
        return QStringLiteral("Web view: http://%1:%2/").arg(state.address).arg(state.port);
    case WebState::Kind::PortTaken:
        return QStringLiteral("Web view: port %1 is taken by another program. Choose another "
                              "Port in the Web window.")
            .arg(state.port);
    case WebState::Kind::Failed:
        return QStringLiteral("Web view: cannot listen on %1 port %2 (%3).")
            .arg(state.address)
            .arg(state.port)
            .arg(state.error);
    }
    return {};
}

} // namespace web
