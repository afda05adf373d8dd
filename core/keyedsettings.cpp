#include "core/keyedsettings.h"

#include "core/files.h"

namespace core {

QByteArray withKeys(const QByteArray& bytes, const QString& title,
                    const std::vector<KeyedValue>& values)
{
    QByteArray text = bytes.isEmpty() ? title.toLatin1() + "\r\n\r\n" : bytes;
    for (const auto& [key, value] : values) {
        const QByteArray open = '<' + key.toLatin1() + '>';
        const QByteArray close = "</" + key.toLatin1() + '>';
        const QByteArray whole = open + value.toLatin1() + close;
        // What a reader takes: from the first opening tag to the first closing one.
        const qsizetype at = text.indexOf(open);
        const qsizetype end = text.indexOf(close);
        if (at >= 0 && end >= at + open.size()) {
            text.replace(at, end + close.size() - at, whole);
            continue;
        }
        // Absent or damaged (a closing tag first): the stray tags go, so the line added is read.
        // Taking one out can join its neighbours into another ("</K</K>>"), hence the loop.
        while (text.contains(open) || text.contains(close)) {
            text.replace(open, QByteArray());
            text.replace(close, QByteArray());
        }
        if (!text.endsWith('\n'))
            text += "\r\n";
        text += whole + "\r\n";
    }
    return text;
}

bool writeKeys(const QString& path, const QString& title, const std::vector<KeyedValue>& values,
               QString* error)
{
    const QByteArray bytes = readWholeFile(path).value_or(QByteArray());
    return replaceFile(path, withKeys(bytes, title, values), error);
}

} // namespace core
