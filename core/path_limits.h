// How long a path may be. Every path the program stores, shows or builds an
// output name from holds at most 259 characters plus the terminator, as on
// Windows; buffers that receive a path from the operating system are larger,
// and what they receive is checked against that limit where it matters.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint32_t kMaxPathCharacters = 259;
// A path with its terminator.
inline constexpr size_t kPathCapacity = kMaxPathCharacters + 1;
// The temporary folder: up to 260 characters with its trailing separator,
// plus the terminator.
inline constexpr size_t kTempFolderCapacity = kPathCapacity + 1;
// Whatever the system hands back (the program's own path, the profile
// folders); Linux paths may be far longer than the limit above.
inline constexpr size_t kSystemPathCapacity = 4096;
