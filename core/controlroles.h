#pragma once

#include <QWidget>
#include <map>

namespace core {

// The controls a window made from its control table, by role, until the window has taken those
// it needs. A table without one of them, or with a control of another kind in its place, is a
// fault in the program: it stops at once, naming the window and the role, rather than later on a
// null pointer.
template <typename Role> class ControlsByRole
{
public:
    explicit ControlsByRole(const char* window)
        : m_window(window)
    {}

    void add(Role role, QWidget* control) { m_made[role] = control; }

    template <typename T> void take(T*& member, Role role) const
    {
        const auto it = m_made.find(role);
        member = it == m_made.end() ? nullptr : qobject_cast<T*>(it->second);
        if (!member) {
            qFatal("The %s window's control table has no %s for role %d", m_window,
                   T::staticMetaObject.className(), int(role));
        }
    }

private:
    const char* m_window;
    std::map<Role, QWidget*> m_made;
};

} // namespace core
