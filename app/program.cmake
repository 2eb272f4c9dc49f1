# The program. Until the window exists it is a console probe of the capture.
add_executable(vxsound probe_main.cpp)
target_link_libraries(vxsound PRIVATE vx_capture)
