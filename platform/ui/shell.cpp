#include "shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace plumora::ui {

namespace {
AddressOpener &opener()
{
    static AddressOpener instance;
    return instance;
}
} // namespace

bool openAddress(const QString &address)
{
    if (opener())
        return opener()(address);
    const QUrl url(address, QUrl::TolerantMode);
    return url.isValid() && QDesktopServices::openUrl(url);
}

void setAddressOpener(AddressOpener o)
{
    opener() = std::move(o);
}

} // namespace plumora::ui
