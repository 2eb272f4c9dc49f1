# Small Qt widgets of the window.
add_library(vx_ui_widgets STATIC
    ${CMAKE_CURRENT_LIST_DIR}/PaintBox.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WindowWidgets.cpp
)
set_target_properties(vx_ui_widgets PROPERTIES AUTOMOC ON)
target_include_directories(vx_ui_widgets PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vx_ui_widgets PUBLIC Qt6::Widgets vx_ui_core)
