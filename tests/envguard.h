#pragma once

// An environment variable set for one scope and put back as it was when the scope ends, whether
// the test passes, fails or returns early: the next test in the same process sees the old value.

#include <QByteArray>
#include <QtGlobal>
#include <ctime>

class EnvGuard
{
public:
    EnvGuard(const char* name, const QByteArray& value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~EnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

// The process's local time zone for one scope, as the user's desktop sets it: TZ, read again by
// the C library at once, and put back (and read again) when the scope ends.
class LocalZone
{
public:
    explicit LocalZone(const char* zone)
        : m_had(qEnvironmentVariableIsSet("TZ"))
        , m_old(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalZone()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

private:
    bool m_had;
    QByteArray m_old;
};
