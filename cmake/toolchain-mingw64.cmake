# Cross toolchain for the Windows target: 64-bit mingw-w64 from Debian
# (posix thread model), static C/C++ runtime, tests run under Wine.
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake ...
#
# -municode belongs to the GUI program only and is not set here.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(MORAVEL_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${MORAVEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORAVEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${MORAVEL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MORAVEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs and DLLs need no libgcc/libstdc++/winpthread DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest (and add_custom_command users) run the .exe files through Wine in a
# prefix of their own under the build folder.
get_filename_component(_moravel_repo_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${_moravel_repo_root}/scripts/wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wineprefix")
unset(_moravel_repo_root)
