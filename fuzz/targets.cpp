#include "targets.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plumora::fuzz {

const std::vector<Target> &targets()
{
    static const std::vector<Target> list = {
        { "gif", gifTarget, "tests/data/gif/*.gif;tests/data/gif/odd/*.gif", 64 * 1024 },
        { "gesture", gestureTarget, "fuzz/seeds/gesture/*.zqa", 64 * 1024 },
        { "settings", settingsTarget, "fuzz/seeds/settings/*.conf", 4 * 1024 },
        { "wav", wavTarget, "tests/data/wav/*.wav", 64 * 1024 },
        { "jpeg", jpegTarget, "tests/data/pictures/*.jpg", 64 * 1024 },
        { "bmp", bmpTarget, "tests/data/pictures/*.bmp", 64 * 1024 },
        { "import", importTarget, "fuzz/seeds/import/*.bin", 64 * 1024 },
        { "sound", soundTarget, "tests/data/wav/*.wav", 64 * 1024 },
        { "media", mediaTarget, "fuzz/seeds/media/*;tests/data/wav/*.wav", 64 * 1024 },
    };
    return list;
}

const Target *findTarget(const char *name)
{
    for (const Target &target : targets())
        if (std::strcmp(target.name, name) == 0)
            return &target;
    return nullptr;
}

void initialize()
{
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt keeps argc by reference for the application's whole life.
    static int argc = 1;
    static char name[] = "plumora-fuzz";
    static char *argv[] = { name, nullptr };
    new QApplication(argc, argv); // lives until the process ends
}

void fuzzCheck(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

} // namespace plumora::fuzz
