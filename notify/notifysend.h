#pragma once

#include "notify/notifyconfig.h"
#include "notify/notifyevent.h"

#include <QString>
#include <atomic>
#include <functional>
#include <vector>

namespace notify {

// Sending goes through libcurl: one established library speaks HTTPS for the push and the
// webhook and SMTP with STARTTLS or implicit TLS for e-mail, verifies the server's certificate
// against the system's store (or CaFile, a home server's own authority, as CURLOPT_CAINFO), and
// is on every Debian machine the plant runs on, arm64 too.

// The server's answer to one send: whether it took the message, and its words ("HTTP 200:
// {...}", "250 2.0.0 Ok: queued", or why no server answered).
struct Answer
{
    bool ok = false;
    QString text;
};

// How long one send may take, connecting included, before it counts as failed.
inline constexpr long kSendTimeoutS = 30;

// Sends one message on the calling thread and waits for the answer (kSendTimeoutS at most):
// the push as the ntfy protocol has it (a POST of the text to the topic's URL, with Title,
// Priority high for a raise and default otherwise, Tags, and the token as "Authorization:
// Bearer"), the webhook as hookBody's JSON, the e-mail with the title as its subject. folded
// holds the events a folded message stands for (the webhook lists them). Plain http is refused
// at the send unless the address connected to is loopback or private, and never through a proxy.
// A stop flag (when given) that turns true ends a send under way at once, as failed; meanwhile
// (when given) is called about once a second while the send waits, on the calling thread.
Answer send(Way way, const NotifyConfig& config, const Event& message,
            const std::vector<Event>& folded = {}, const std::atomic<bool>* stop = nullptr,
            const std::function<void()>& meanwhile = {});

// The e-mail's bytes as sent: Date (with its offset), From, To, Subject (RFC 2047 when it is not
// ASCII), Message-ID, a plain UTF-8 text body, CR LF line ends.
QByteArray mailText(const NotifyConfig& config, const Event& message);

} // namespace notify
