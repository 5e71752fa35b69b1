# The stub's portable sources, shared by the Windows build and the host build.
set(VELKAR_CORE_SOURCES
    common/run_state.cpp
    startup/entry.cpp
    startup/command_line.cpp
    startup/settings_block.cpp
    common/text_ops.cpp
    common/directory_macros.cpp
    archive/errors.cpp
    archive/time_convert.cpp
    archive/walk.cpp
    archive/member_header.cpp
    archive/output_names.cpp
    archive/overwrite.cpp
    decode/crc16.cpp
    decode/archive_input.cpp
    decode/bit_input.cpp
    decode/huffman_table.cpp
    decode/block_decoder.cpp
    decode/fast_decoder.cpp
    decode/output_sink.cpp
    install/installer_script.cpp
    install/finishing_actions.cpp
    ui/main_dialog.cpp
    ui/directory_chooser.cpp
    ui/progress.cpp
)
list(TRANSFORM VELKAR_CORE_SOURCES PREPEND "${PROJECT_SOURCE_DIR}/")
