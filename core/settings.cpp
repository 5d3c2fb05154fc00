#include "core/settings.h"

#include <new>

#include "core/path_limits.h"
#include "platform/platform.h"

bool NameList::append(const char16_t* name, uint32_t length) {
    void* memory = platform::privateHeap().allocate(sizeof(Node));
    if (!memory) return false;
    Node* node = new (memory) Node;
    if (!node->name.assign(name, length) && length > 0) {
        node->~Node();
        platform::privateHeap().release(memory);
        return false;
    }
    Node** tail = &head_;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    return true;
}

void NameList::clear() {
    while (head_) {
        Node* next = head_->next;
        head_->~Node();
        platform::privateHeap().release(head_);
        head_ = next;
    }
}

uint32_t NameList::count() const {
    uint32_t n = 0;
    for (const Node* node = head_; node; node = node->next) ++n;
    return n;
}

void resetSettings(Settings& s) {
    s.language.clear();
    s.fontHeight = -12;
    s.jpegQuality = 75;
    s.jpegSubsampling = 0;
    s.jpegSizeLimitOn = 0;
    s.jpegSizeLimitKiB = 100;
    s.resizeOn = 0;
    s.resizeMode = kResizeByLongerSide;
    s.resizeTarget = 100;
    s.outputFolder.clear();
    s.subFolderOn = 0;
    s.subFolderName.assign(u"Output");
    s.pluginFolder.clear();
    s.startMode = 0;
    s.sendToMigrated1 = 0;
    s.sendToMigrated2 = 0;
    s.disabledPlugins.clear();
    s.keepTransparency = 0;
}

void defaultPluginFolder(HeapString& folder) {
    folder.clear();
    char16_t program[kSystemPathCapacity];
    if (platform::programPath(program, kSystemPathCapacity) == 0) return;
    HeapString candidate;
    if (!folderOf(program, candidate) || !candidate.appendPath(u"plugins") ||
        !platform::isDirectory(candidate.c_str()))
        return;
    folder = std::move(candidate);
}
