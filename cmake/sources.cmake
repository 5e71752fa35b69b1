# The stub's portable sources, shared by the Windows build and the host build.
set(VELKAR_CORE_SOURCES
    startup/run_state.cpp
    startup/entry.cpp
    startup/command_line.cpp
    startup/settings_block.cpp
    startup/text_ops.cpp
    startup/directory_macros.cpp
    archive/errors.cpp
    archive/time_convert.cpp
    archive/walk.cpp
    decode/crc16.cpp
    decode/archive_input.cpp
    ui/main_dialog.cpp
)
list(TRANSFORM VELKAR_CORE_SOURCES PREPEND "${PROJECT_SOURCE_DIR}/")
