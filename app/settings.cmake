# Settings file: profile (INI) reader and writer, the analyzer's key table,
# and where the settings and the picture live (portable or installed).
add_library(vx_settings STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ProfileFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SettingsKeys.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InstallLayout.cpp
)
target_include_directories(vx_settings PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vx_settings PUBLIC vx_platform)
# An installed program finds its data relative to itself, so the package
# can be installed under any prefix.
file(RELATIVE_PATH VX_DATA_FROM_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR} ${VX_INSTALL_FULL_DATADIR})
target_compile_definitions(vx_settings PRIVATE VX_DATA_FROM_PROGRAM="${VX_DATA_FROM_PROGRAM}")
