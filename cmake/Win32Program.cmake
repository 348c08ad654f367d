# VelmoraUninstall.exe: a PE32 GUI program with its own entry point, no C
# runtime start-up, and the C library from the system's msvcrt.dll. Built by
# MinGW-w64 GCC with ld, or by clang with lld.
enable_language(RC)

add_executable(VelmoraUninstall WIN32 ${VELMORA_SOURCES} platform/Entry.cpp res/VelmoraUninstall.rc)
target_include_directories(VelmoraUninstall PRIVATE ${PROJECT_SOURCE_DIR})

# windres reports no dependencies: an edited icon would leave the old one in
# the program.
set_source_files_properties(res/VelmoraUninstall.rc PROPERTIES OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/res/VelmoraUninstall.ico)

# -fno-builtin: the C library calls stay the ones written, not strcpy or
# memcpy, which the program does not import. No -fdata-sections: every
# variable is used, and GCC's PE target would give each its own .data$
# section, zero-filled ones too, so the 256-byte setting buffer would take
# file space in .data instead of none in .bss.
target_compile_options(VelmoraUninstall PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:${VELMORA_WARNINGS} -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-unwind-tables -fno-stack-protector -fno-builtin -fno-threadsafe-statics -ffunction-sections
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>)
# msvcrt's own printf: MinGW's C99 one would be linked in whole.
target_compile_definitions(VelmoraUninstall PRIVATE $<$<COMPILE_LANGUAGE:CXX>:__USE_MINGW_ANSI_STDIO=0>)

# ld only warns when the entry symbol is missing and then starts at the first
# byte of .text; the stdcall entry is decorated on i686.
target_link_options(VelmoraUninstall PRIVATE
    -nostdlib -nostartfiles -s
    -Wl,--entry=_Entry@0
    -Wl,--fatal-warnings
    -Wl,--gc-sections
    -Wl,--file-alignment=512
    -Wl,--no-insert-timestamp
    -Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/VelmoraUninstall.map)

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # Arguments pushed, and the stack kept at the 4-byte alignment of the Win32
    # ABI instead of GCC's 16, make the code a quarter smaller. GCC pushes only
    # without stack probes, so every frame that would need one (4000 bytes or
    # more, or of unknown size) is an error: it could step past the guard page.
    target_compile_options(VelmoraUninstall PRIVATE
        $<$<COMPILE_LANGUAGE:CXX>:-mno-stack-arg-probe -mpreferred-stack-boundary=2 -Werror=stack-usage=4000>)
    target_link_options(VelmoraUninstall PRIVATE -Wl,--build-id=none)
else()
    # lld's defaults differ from ld's; these give the header the GCC build
    # has: Windows 4.0 and later, no Terminal Server flag.
    target_link_options(VelmoraUninstall PRIVATE
        -Wl,--major-os-version=4 -Wl,--minor-os-version=0
        -Wl,--major-subsystem-version=4 -Wl,--minor-subsystem-version=0
        -Wl,--disable-tsaware)
endif()

target_link_libraries(VelmoraUninstall PRIVATE msvcrt kernel32 user32 advapi32)
set_target_properties(VelmoraUninstall PROPERTIES LINK_DEPENDS_NO_SHARED ON)
