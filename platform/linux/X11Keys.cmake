# Key interception and the synthetic paste on X11, over xcb.
pkg_check_modules(XCB_KEYS REQUIRED IMPORTED_TARGET xcb xcb-keysyms xcb-xtest)

add_library(LumenoX11Keys STATIC
  ${CMAKE_CURRENT_LIST_DIR}/X11KeyCodes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/X11KeyEventTap.cpp
)
target_include_directories(LumenoX11Keys PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(LumenoX11Keys PUBLIC LumenoCore PRIVATE PkgConfig::XCB_KEYS)
