#pragma once
// Finds a window's control by its object name, which is the control's member
// name in the window. A missing control (or one of another type) fails the
// test with the name rather than crashing on a null pointer.
#include <QObject>
#include <QString>

#include <memory>
#include <stdexcept>
#include <string>

namespace controls_detail {

inline const QObject *objectOf(const QObject *owner)
{
    return owner;
}
inline const QObject *objectOf(const QObject &owner)
{
    return &owner;
}
template <typename Owner> const QObject *objectOf(const std::unique_ptr<Owner> &owner)
{
    return owner.get();
}

} // namespace controls_detail

// The owner may be a window, a pointer to one or a unique_ptr holding one.
template <typename T, typename Owner> T *control(const Owner &owner, const char *name)
{
    T *found = controls_detail::objectOf(owner)->template findChild<T *>(QString::fromLatin1(name));
    if (!found)
        throw std::logic_error(std::string("no control named ") + name + " of the expected type");
    return found;
}
