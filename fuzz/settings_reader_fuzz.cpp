// Feeds arbitrary bytes to the settings-file reader and to the save step
// (reading the old file, building the new one) through real files, then reads
// the new content back and checks that it says what the settings say.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/settings_file_reader.h"
#include "core/settings_store.h"
#include "platform/platform.h"

namespace {

const char16_t* tempPath(int which) {
    static char16_t paths[2][300] = {};
    char16_t* path = paths[which];
    if (path[0] == 0) {
        char16_t folder[280];
        if (platform::tempFolder(folder, 280) == 0 ||
            !platform::createUniqueTempFile(folder, u"ini", path, 300))
            std::abort();
    }
    return path;
}

void writeFile(const char16_t* path, const void* data, size_t size) {
    platform::File file;
    if (!file.create(path) || (size && !file.write(data, size))) std::abort();
}

void check(bool condition) {
    if (!condition) __builtin_trap();
}

bool sameText(const HeapString& a, const HeapString& b) {
    return a.length() == b.length() &&
           (a.length() == 0 || std::memcmp(a.c_str(), b.c_str(), a.length() * 2) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char16_t* oldPath = tempPath(0);
    const char16_t* newPath = tempPath(1);
    writeFile(oldPath, data, size);

    static Settings settings;
    resetSettings(settings);
    SettingsFileReader reader;
    reader.open(oldPath);
    check(reader.slotCount() <= kSettingsSlotCount);
    loadAllSettings(reader, settings);
    reader.close();
    check(settings.fontHeight == -12 || settings.fontHeight == -14);
    for (int32_t flag :
         {settings.jpegSizeLimitOn, settings.resizeOn, settings.subFolderOn,
          settings.sendToMigrated1, settings.sendToMigrated2, settings.keepTransparency})
        check(flag == 0 || flag == 1);

    // Save: the old file's table and carried texts, then the new content.
    PreviousSettingsFile previous;
    SettingsFileImage image;
    {
        platform::File old;
        if (!old.openForReading(oldPath)) std::abort();
        if (!previous.read(old) || !buildSettingsFile(previous, settings, image)) return 0;
    }
    writeFile(newPath, image.data(), image.size());

    static Settings back;
    resetSettings(back);
    SettingsFileReader again;
    check(again.open(newPath));
    check(again.slotCount() == kSettingsSlotCount);
    loadAllSettings(again, back);
    check(sameText(back.language, settings.language));
    check(sameText(back.outputFolder, settings.outputFolder));
    check(sameText(back.subFolderName, settings.subFolderName));
    check(sameText(back.pluginFolder, settings.pluginFolder));
    check(back.fontHeight == settings.fontHeight && back.jpegQuality == settings.jpegQuality &&
          back.jpegSubsampling == settings.jpegSubsampling &&
          back.jpegSizeLimitOn == settings.jpegSizeLimitOn &&
          back.jpegSizeLimitKiB == settings.jpegSizeLimitKiB &&
          back.resizeOn == settings.resizeOn && back.resizeMode == settings.resizeMode &&
          back.resizeTarget == settings.resizeTarget && back.subFolderOn == settings.subFolderOn &&
          back.startMode == settings.startMode &&
          back.sendToMigrated1 == settings.sendToMigrated1 &&
          back.sendToMigrated2 == settings.sendToMigrated2 &&
          back.keepTransparency == settings.keepTransparency);
    check(back.disabledPlugins.count() <= settings.disabledPlugins.count());

    // A carried text keeps its bytes; any other text reference of slot 12 is gone.
    const SettingsSlot twelve = again.slot(kSlotReserved12);
    if (previous.carried[kSlotReserved12]) {
        check(twelve.b == previous.slots[kSlotReserved12].b);
        check(uint64_t{twelve.a} + twelve.b == image.size());
        check(twelve.b == 0 || std::memcmp(image.data() + twelve.a,
                                           previous.carried[kSlotReserved12], twelve.b) == 0);
    } else {
        check(twelve.a < kSettingsFirstTextOffset);
    }
    return 0;
}
