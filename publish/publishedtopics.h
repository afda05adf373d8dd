#pragma once

#include "core/appdir.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <set>

namespace publish {

// The topics that may hold a retained message of this program on the broker: every topic it
// handed a retained message with content, until the broker acknowledged an empty one in its
// place. Kept in "published.cfg" beside publish.cfg, because the broker keeps retained messages
// across the program's restarts: a plant renamed while the program was closed, or while the
// broker was away, still has its old topics cleared at the next connect.
using TopicSet = std::set<QByteArray>;

// "published.cfg" in the application directory.
QString publishedCfgPath(const core::AppDir& app);

// The exact bytes: "Published Topics", an empty line, one <Topic> line per topic in byte order
// and an empty line, CR LF line ends; in a topic (UTF-8) "%", "<", ">" and control characters
// are written as "%" and two hex digits, so any topic reads back as it was.
QByteArray publishedTopicsText(const TopicSet& topics);

// The topics of a file's text: each <Topic> value, decoded; an empty one is passed over. Another
// title gives none.
TopicSet parsePublishedTopics(QByteArrayView text);

// Reads the file; missing or unreadable: none.
TopicSet readPublishedTopics(const core::AppDir& app);

// Writes it through a temporary file and a rename. False with the reason in error.
bool savePublishedTopics(const core::AppDir& app, const TopicSet& topics, QString* error = nullptr);

} // namespace publish
