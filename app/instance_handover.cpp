#include "app/instance_handover.h"

#include <vector>

namespace app {

namespace {
// A first instance that does not answer within this is taken as refusing.
constexpr UINT kAnswerTimeoutMs = 10000;
}  // namespace

bool handOverFiles(HWND first, const SourceList& files) {
    std::vector<char16_t> block;
    for (uint32_t i = 0; i < files.count(); ++i) {
        const HeapString& path = files.data()[i];
        block.insert(block.end(), path.c_str(), path.c_str() + path.length());
        block.push_back(0);
    }
    COPYDATASTRUCT data = {};
    data.dwData = kHandoverTag;
    data.cbData = static_cast<DWORD>(block.size() * sizeof(char16_t));
    data.lpData = block.data();
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(first, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                             SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &answer))
        return false;
    return answer == TRUE;
}

bool readHandedOverFiles(const COPYDATASTRUCT& data, SourceList& files) {
    if (data.dwData != kHandoverTag || !data.lpData || data.cbData == 0 ||
        data.cbData % sizeof(char16_t) != 0)
        return false;
    const auto* text = static_cast<const char16_t*>(data.lpData);
    const uint32_t length = data.cbData / sizeof(char16_t);
    // Every path ends in a NUL, the last one included; none is empty.
    if (text[length - 1] != 0) return false;
    uint32_t count = 0;
    for (uint32_t i = 0; i < length; ++i)
        if (text[i] == 0) {
            if (i == 0 || text[i - 1] == 0) return false;
            ++count;
        }
    if (!files.allocate(count)) return false;
    uint32_t start = 0, next = 0;
    for (uint32_t i = 0; i < length; ++i)
        if (text[i] == 0) {
            if (!files[next++].assign(text + start, i - start)) return false;
            start = i + 1;
        }
    return true;
}

}  // namespace app
