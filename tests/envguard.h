#pragma once

// An environment variable set for one scope and put back as it was when the scope ends, whether
// the test passes, fails or returns early: the next test in the same process sees the old value.

#include <QByteArray>
#include <QtGlobal>

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
