# The layer-shell integration for Qt's Wayland platform: the protocol's C
# binding made by wayland-scanner, and the few private headers of Qt's Wayland
# client library that Debian does not package, taken from its source package.
find_package(Qt6 REQUIRED COMPONENTS WaylandClient)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/qtwayland-headers.sh ${Qt6WaylandClient_VERSION}
                OUTPUT_VARIABLE tide_qtwayland_private OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE tide_qtwayland_result)
if(NOT tide_qtwayland_result EQUAL 0)
    message(FATAL_ERROR "No private headers of Qt's Wayland client library (scripts/qtwayland-headers.sh)")
endif()
enable_language(C)

function(tide_panel_wayland target)
    set(generated ${CMAKE_CURRENT_BINARY_DIR}/wayland)
    # xdg-shell too: layer-shell's popups refer to its interfaces.
    foreach(xml ${CMAKE_CURRENT_SOURCE_DIR}/platform/wayland/protocols/wlr-layer-shell-unstable-v1.xml
                ${WAYLAND_PROTOCOLS_DIR}/stable/xdg-shell/xdg-shell.xml)
        get_filename_component(name ${xml} NAME_WE)
        add_custom_command(OUTPUT ${generated}/${name}-client-protocol.h ${generated}/${name}-protocol.c
            COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}
            COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${generated}/${name}-client-protocol.h
            COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${generated}/${name}-protocol.c
            DEPENDS ${xml} VERBATIM)
        target_sources(${target} PRIVATE ${generated}/${name}-client-protocol.h
                                         ${generated}/${name}-protocol.c)
    endforeach()
    target_include_directories(${target} PRIVATE ${generated} ${tide_qtwayland_private})
    # The integration is built in, a static plugin of Qt's Wayland platform.
    target_compile_definitions(${target} PRIVATE QT_STATICPLUGIN)
    target_link_libraries(${target} PRIVATE Qt6::WaylandClient Qt6::GuiPrivate
                                            PkgConfig::WAYLAND_CLIENT)
endfunction()
