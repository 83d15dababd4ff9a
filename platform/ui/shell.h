#pragma once
// Handing web and mail addresses to the desktop: the user's browser or mail
// program opens them. Tests install an opener that records the address.
#include <QString>

#include <functional>

namespace plumora::ui {

// Opens an address such as "http://host/" or "mailto:someone@host". Returns
// whether the desktop accepted it; callers may ignore the result.
bool openAddress(const QString &address);

// Test support: the opener receives each address instead of the desktop.
// An empty function restores the desktop.
using AddressOpener = std::function<bool(const QString &address)>;
void setAddressOpener(AddressOpener opener);

} // namespace plumora::ui
