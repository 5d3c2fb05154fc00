// The option record of the program: 19 numbered settings with their defaults.
// The slot number is the setting's position in the settings file.
#pragma once

#include <cstdint>

#include "core/heap_string.h"

// The output formats by their codes (driver/format_table.h describes each).
enum class OutputFormat : uint32_t { Bmp = 0, Png = 1, Jpeg = 2, Gif = 4, JpegCopy = 5, Webp = 6 };

enum ResizeMode : int32_t { kResizeByWidth = 0, kResizeByHeight = 1, kResizeByLongerSide = 2 };

// Names of switched-off plug-ins: a singly linked list of heap strings in the
// order they were stored.
class NameList {
  public:
    struct Node {
        HeapString name;
        Node* next = nullptr;
    };
    NameList() = default;
    ~NameList() { clear(); }
    NameList(const NameList&) = delete;
    NameList& operator=(const NameList&) = delete;

    // Appends a copy of the name at the end; false when memory is refused.
    bool append(const char16_t* name, uint32_t length);
    void clear();
    const Node* first() const { return head_; }
    uint32_t count() const;

  private:
    Node* head_ = nullptr;
};

inline constexpr int kSettingsSlotCount = 19;

struct Settings {
    HeapString language;                       // slot 0
    int32_t fontHeight = -12;                  // slot 1
    int32_t jpegQuality = 75;                  // slot 2
    int32_t jpegSubsampling = 0;               // slot 3
    int32_t jpegSizeLimitOn = 0;               // slot 4
    int32_t jpegSizeLimitKiB = 100;            // slot 5
    int32_t resizeOn = 0;                      // slot 6
    int32_t resizeMode = kResizeByLongerSide;  // slot 7
    int32_t resizeTarget = 100;                // slot 8
    HeapString outputFolder;                   // slot 9
    int32_t subFolderOn = 0;                   // slot 10
    HeapString subFolderName{u"Output"};       // slot 11
    HeapString pluginFolder;                   // slot 13
    int32_t startMode = 0;                     // slot 14
    int32_t sendToMigrated1 = 0;               // slot 15
    int32_t sendToMigrated2 = 0;               // slot 16
    NameList disabledPlugins;                  // slot 17
    int32_t keepTransparency = 0;              // slot 18
};

// Puts every setting back to its default.
void resetSettings(Settings& settings);

// The plug-in folder a new settings file starts with: the "plugins" folder
// beside the program when there is one (the release ships its plug-ins
// there), else empty.
void defaultPluginFolder(HeapString& folder);
