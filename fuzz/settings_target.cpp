// The settings store's file: read what is there, write it back, read again.
#include "platform/settingsformat.h"
#include "targets.h"

#include <QByteArray>

namespace plumora::fuzz {

void settingsTarget(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto map = settings::parseTypedSettings(bytes);
    if (!map)
        return;
    // Every map read from a file can be written again, and reads back equal.
    const auto text = settings::formatTypedSettings(*map);
    fuzzCheck(text.has_value(), "a map read from a file can be written");
    if (text->size() > settings::kMaxSettingsFileBytes)
        return;
    const auto again = settings::parseTypedSettings(*text);
    fuzzCheck(again.has_value(), "a written settings file reads again");
    fuzzCheck(*again == *map, "a written settings file reads back the same values");
    for (auto it = again->cbegin(); it != again->cend(); ++it)
        fuzzCheck(it.value().typeId() == map->value(it.key()).typeId(), "values keep their types");
}

} // namespace plumora::fuzz
