// Mapped sources that another program shortens while they are read. Touching
// a page of a mapping that lies wholly past the file's new end raises SIGBUS,
// which would end the whole batch. While a view is guarded, the handler puts
// zero-filled pages in place of the missing ones, so the reader runs to its
// normal end, and marks the source as shortened (takeShortenedSource).
#pragma once

#include <cstddef>

namespace platform {

// Guards a view on the calling thread until unguardMappedView.
void guardMappedView(void* view, size_t size, bool writable);
void unguardMappedView(void* view);

}  // namespace platform
