#include "driver/output_names.h"

#include "platform/platform.h"

bool outputPathFor(const char16_t* outputFolder, const char16_t* source, const char16_t* extension,
                   HeapString& out) {
    HeapString name;
    if (!baseNameOf(source, name) && platform::textLength(source) > 0) return false;
    if (!out.assign(outputFolder)) return false;
    if (!out.appendPath(name.c_str(), name.length()) && !name.empty()) return false;
    return out.append(extension);
}

bool makeUniqueOutputName(HeapString& path, const char16_t* extension) {
    if (!platform::nameTaken(path.c_str())) return true;
    HeapString stem(path);
    long dot = extensionDot(stem.c_str(), stem.length());
    if (dot >= 0) stem.truncate(static_cast<uint32_t>(dot));
    if (!stem.appendChar(u'+')) return false;
    HeapString candidate;
    for (int n = 1; n <= 9999; ++n) {
        if (!candidate.assign(stem.c_str(), stem.length()) || !appendDecimal(candidate, n) ||
            !candidate.append(extension))
            return false;
        if (candidate.length() > kMaxPathCharacters) return false;
        if (!platform::nameTaken(candidate.c_str())) {
            path = candidate;
            return path.length() == candidate.length();
        }
    }
    return false;
}
