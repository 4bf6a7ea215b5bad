# Cross-build of the Windows executable with clang and lld against Debian's MinGW-w64
# (its headers, its import libraries and g++'s libstdc++ with posix threads): a second
# compiler over the same sources as cmake/mingw-w64-x86_64.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(AGENT_MINGW_TRIPLE x86_64-w64-mingw32)
set(AGENT_MINGW_SYSROOT /usr/${AGENT_MINGW_TRIPLE})
set(AGENT_MINGW_GCC_DIR /usr/lib/gcc/${AGENT_MINGW_TRIPLE}/12-posix)

set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${AGENT_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${AGENT_MINGW_TRIPLE})
# MinGW's windres: llvm-windres refuses ALT on an ASCII accelerator ("?" with ALT, as in
# Visual Studio's own template), which rc.exe and windres accept and the agent uses.
set(CMAKE_RC_COMPILER ${AGENT_MINGW_TRIPLE}-windres)
set(CMAKE_AR llvm-ar-14 CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib-14 CACHE FILEPATH "")

# The sysroot keeps the host's /usr/include off the search path. Clang cannot find g++'s
# libstdc++ and libgcc in Debian's "12-posix" folder by itself.
set(CMAKE_SYSROOT ${AGENT_MINGW_SYSROOT})
# g++ builds MinGW's libstdc++ with emulated thread-locals (std::call_once's state among
# them); clang's native ones would not link against it.
set(CMAKE_C_FLAGS_INIT "-femulated-tls")
set(CMAKE_CXX_FLAGS_INIT
    "-femulated-tls -isystem ${AGENT_MINGW_GCC_DIR}/include/c++ -isystem ${AGENT_MINGW_GCC_DIR}/include/c++/${AGENT_MINGW_TRIPLE}")
# std::thread and std::mutex need winpthreads, which g++-posix links by itself and clang's
# driver does not; lld finds an archive's symbols wherever it stands on the line.
set(agent_link_flags "-fuse-ld=lld -L${AGENT_MINGW_GCC_DIR} -lpthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${agent_link_flags}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${agent_link_flags}")
# Static runtime: the .exe must run with no MinGW DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "${agent_link_flags} -static")
unset(agent_link_flags)

set(CMAKE_FIND_ROOT_PATH ${AGENT_MINGW_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
