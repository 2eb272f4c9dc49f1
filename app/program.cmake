# The analyzer, and the console probe of the capture: Linux's entries, on
# the Qt edge and the sound server.
add_executable(vxsound ${CMAKE_CURRENT_LIST_DIR}/linux/main.cpp)
target_link_libraries(vxsound PRIVATE vx_ui vx_winmsg vx_capture)

add_executable(vxsound-probe ${CMAKE_CURRENT_LIST_DIR}/linux/probe_main.cpp)
target_link_libraries(vxsound-probe PRIVATE vx_capture)

# Data files the program reads from its own folder.
configure_file(${CMAKE_SOURCE_DIR}/Source-Images/Glyphs/AudioLevel.bmp
               ${VX_BIN_DIR}/Source-Images/Glyphs/AudioLevel.bmp COPYONLY)

install(TARGETS vxsound RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
