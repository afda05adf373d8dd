#pragma once

#include <QWidget>
#include <array>
#include <cstddef>
#include <map>

namespace ui {

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

// The member a row fills at one index, for a control that stands once for each of several
// things (a quantity's readout): the member is an array or a map by index of pointers.
template <typename Controls> struct FillsAt
{
    using Store = void (*)(Controls&, int index, QWidget*, const char* window, const char* member);
    Store store = nullptr;

    void into(Controls& controls, int index, QWidget* control, const char* window,
              const char* member) const
    {
        if (store)
            store(controls, index, control, window, member);
    }
};

template <typename C, typename T, std::size_t N> struct MemberOf<std::array<T*, N> C::*>
{
    using Controls = C;
    using Widget = T;
    static T*& at(std::array<T*, N>& all, int index) { return all[std::size_t(index)]; }
};

template <typename C, typename T> struct MemberOf<std::map<int, T*> C::*>
{
    using Controls = C;
    using Widget = T;
    static T*& at(std::map<int, T*>& all, int index) { return all[index]; }
};

// fillsAt<&GraphControls::Max>(): the row's control for index i goes to Max[i].
template <auto Member> constexpr FillsAt<typename MemberOf<decltype(Member)>::Controls> fillsAt()
{
    using M = MemberOf<decltype(Member)>;
    return {[](typename M::Controls& controls, int index, QWidget* control, const char* window,
               const char* member) {
        auto*& slot = M::at(controls.*Member, index);
        slot = qobject_cast<typename M::Widget*>(control);
        if (!slot) {
            qFatal("The %s window's control table has no %s for %s", window,
                   M::Widget::staticMetaObject.className(), member);
        }
    }};
}

} // namespace ui
