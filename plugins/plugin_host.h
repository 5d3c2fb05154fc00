// The image plug-in host: finds the first enabled Susie import filter
// ("*.spi", then "*.sph") in the plug-in folder that accepts a file, lets it
// decode the file, and turns the result into a picture record. It also lists
// and describes the folder's plug-ins and opens their settings dialogs for the
// settings window. No plug-in stays loaded between operations and nothing is
// cached: the folder and the list of switched-off plug-ins are read at every
// call, so changes in the settings window count from the next call on.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/heap_string.h"
#include "core/settings.h"
#include "driver/fallback_reader.h"

class PluginHost final : public FallbackReader {
  public:
    // References the plug-in folder and DisabledPlugins settings.
    PluginHost(const HeapString& folder, const NameList& disabled)
        : folder_(folder), disabled_(disabled) {}

    // decodeWithPlugin: false when the folder is not set or not a directory,
    // the source cannot be read (missing, empty, 4 GiB or more), no enabled
    // import filter accepts it, or the accepting one fails to decode it.
    // The result says when the bits block was short (damaged) and, on
    // failure, kStatusPluginFailed when a plug-in faulted while asked about
    // the file or failed in its own start-up code.
    ReadResult read(const char16_t* path, const SourceBytes& bytes, ImageRecord& record) override;

    // Import filters of the folder in enumeration order ("*.spi" first),
    // switched-off ones included. False only when memory runs out.
    bool listPlugins(NameList& names) const;
    // The plug-in's file patterns (joined by ';') and format names (joined by
    // '/'), each kept below 260 characters. Both stay empty when the plug-in
    // cannot be loaded or does not name a first pattern and format.
    bool describePlugin(const char16_t* name, HeapString& patterns, HeapString& formats) const;
    // Opens the plug-in's own settings dialog, if it has one.
    void showPluginSettings(HWND parent, const char16_t* name) const;

    // Data offset of the last successful decode (0, or 128 when the plug-in
    // accepted the file only after its first 128 bytes).
    int32_t lastDataOffset() const { return dataOffset_; }
    // Code of the last exception caught inside a plug-in during read() (0 when none).
    uint32_t lastFault() const { return lastFault_; }

  private:
    // read() without its result: `pluginFailed` when a fault or a failed
    // start-up of a plug-in is why the file was not decoded.
    bool decode(const char16_t* path, const SourceBytes& bytes, ImageRecord& record, bool& damaged,
                bool& pluginFailed);
    bool folderUsable() const;
    bool isDisabled(const char16_t* name) const;

    const HeapString& folder_;
    const NameList& disabled_;
    int32_t dataOffset_ = 0;
    uint32_t lastFault_ = 0;
};
