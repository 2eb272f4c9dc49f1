# The main window with its commands, faders, start-up and shut-down, the
# About window and the menu images.
add_library(vx_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/VxSoundApp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VxSoundApp.h
    ${CMAKE_CURRENT_LIST_DIR}/VxSoundFaders.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VxSoundAbout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VxSoundVisual.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VxSoundSegment.cpp
    ${CMAKE_SOURCE_DIR}/app/VxSoundLifecycle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/images/images.qrc
)
set_target_properties(vx_ui PROPERTIES AUTOMOC ON AUTORCC ON)
target_include_directories(vx_ui PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vx_ui PUBLIC
    vx_ui_widgets vx_winmsg vx_hostsync vx_capture vx_settings vx_analysis
    Qt6::Widgets Qt6::DBus)
