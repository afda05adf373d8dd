#include "publish/publishedtopics.h"

#include "core/files.h"

namespace publish {
namespace {

const QByteArray kTitle = "Published Topics";
const QByteArray kOpen = "<Topic>";
const QByteArray kClose = "</Topic>";

QByteArray encoded(const QByteArray& topic)
{
    QByteArray out;
    for (const char c : topic) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == '%' || c == '<' || c == '>')
            out += '%' + QByteArray::number(u, 16).rightJustified(2, '0').toUpper();
        else
            out += c;
    }
    return out;
}

} // namespace

QString publishedCfgPath(const core::AppDir& app)
{
    return app.path(QStringLiteral("published.cfg"));
}

QByteArray publishedTopicsText(const TopicSet& topics)
{
    QByteArray out = kTitle + "\r\n\r\n";
    for (const QByteArray& topic : topics)
        out += kOpen + encoded(topic) + kClose + "\r\n";
    return out + "\r\n";
}

TopicSet parsePublishedTopics(QByteArrayView text)
{
    TopicSet out;
    if (!text.startsWith(kTitle + "\r\n"))
        return out;
    qsizetype from = 0;
    while (true) {
        const qsizetype open = text.indexOf(kOpen, from);
        if (open < 0)
            break;
        const qsizetype start = open + kOpen.size();
        const qsizetype close = text.indexOf(kClose, start);
        if (close < 0)
            break;
        const QByteArray topic =
            QByteArray::fromPercentEncoding(text.sliced(start, close - start).toByteArray());
        if (!topic.isEmpty())
            out.insert(topic);
        from = close + kClose.size();
    }
    return out;
}

TopicSet readPublishedTopics(const core::AppDir& app)
{
    const auto bytes = core::readWholeFile(publishedCfgPath(app));
    return bytes ? parsePublishedTopics(*bytes) : TopicSet{};
}

bool savePublishedTopics(const core::AppDir& app, const TopicSet& topics, QString* error)
{
    return core::replaceFile(publishedCfgPath(app), publishedTopicsText(topics), error);
}

} // namespace publish
