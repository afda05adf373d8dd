#pragma once

#include <QDateTime>
#include <functional>

namespace core {

// The date and time the program acts on. Windows take it as a value so that tests can run
// them at a chosen moment.
struct Clock
{
    std::function<QDateTime()> now;

    static Clock system()
    {
        return Clock{[] {
            return QDateTime::currentDateTime();
        }};
    }
    static Clock fixed(const QDateTime& at)
    {
        return Clock{[at] {
            return at;
        }};
    }
};

} // namespace core
