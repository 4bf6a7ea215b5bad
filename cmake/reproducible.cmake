# Byte-for-byte reproducible Windows images: two clean builds of one commit, in any
# folders and at any time, give the same .exe and .dll (scripts/test.sh, stage
# "reproducible"). Included by the top-level CMakeLists.txt, so every Windows toolchain
# (MinGW-w64 g++ and clang alike) gets the same flags. The installer takes its times
# from SOURCE_DATE_EPOCH or the commit (installer/cmake/run_wixl.cmake).
#
# Native builds keep absolute paths: debuggers and sanitizer reports find the sources.
if(WIN32 AND NOT MSVC)
    # Source and build folders become "." in __FILE__, debug info and the objects'
    # .file entries. The build folder last: it lies inside the source
    # folder in the presets, and the last matching map wins.
    add_compile_options(
        "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
        "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=.>")
    # The PE header (and an export directory) would carry the link time.
    add_link_options(-Wl,--no-insert-timestamp)
endif()
