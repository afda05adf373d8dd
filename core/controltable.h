#pragma once

#include <QWidget>

namespace core {

// The member of a window's controls struct that a row of its control table fills; empty for a
// control that only stands there (a naming label, a sign, a line).
template <typename Controls> struct Fills
{
    using Store = void (*)(Controls&, QWidget*, const char* window, const char* member);
    Store store = nullptr;

    // A control of another class than its member is a fault in the table: it stops the program
    // at once, naming the window and the member, rather than later on a null pointer.
    void into(Controls& controls, QWidget* control, const char* window, const char* member) const
    {
        if (store)
            store(controls, control, window, member);
    }
};

template <typename M> struct MemberOf;
template <typename C, typename T> struct MemberOf<T * C::*>
{
    using Controls = C;
    using Widget = T;
};

// fills<&PublishControls::Host>(): the row's control goes to that member.
template <auto Member> constexpr Fills<typename MemberOf<decltype(Member)>::Controls> fills()
{
    using M = MemberOf<decltype(Member)>;
    return {[](typename M::Controls& controls, QWidget* control, const char* window,
               const char* member) {
        controls.*Member = qobject_cast<typename M::Widget*>(control);
        if (!(controls.*Member)) {
            qFatal("The %s window's control table has no %s for %s", window,
                   M::Widget::staticMetaObject.className(), member);
        }
    }};
}

} // namespace core
