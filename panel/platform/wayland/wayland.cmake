# The panel's Wayland layer: layer-shell through KDE's LayerShellQt where the
# release packages it (Debian 13), else an integration of our own for Qt's
# Wayland platform: the protocol's C binding made by wayland-scanner, and the
# few private headers of Qt's Wayland client library that Debian does not
# package, kept in the repository for the Qt version they describe (Debian
# 12's 6.4). Configuring only looks: with TIDE_WAYLAND=AUTO a machine without
# these inputs builds the X11 panel and says so.
find_package(LayerShellQt QUIET)
find_package(Qt6 QUIET COMPONENTS WaylandClient)
pkg_check_modules(WAYLAND_CLIENT QUIET IMPORTED_TARGET wayland-client)
set(tide_wayland_missing "")
if(LayerShellQt_FOUND)
    set(tide_layer_shell LayerShellQt)
    set(tide_layer_shell_name LayerShellQt)
else()
    set(tide_layer_shell own)
    set(tide_layer_shell_name "the panel's own integration")
    pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
    find_program(WAYLAND_SCANNER wayland-scanner)
    if(NOT Qt6WaylandClient_FOUND)
        list(APPEND tide_wayland_missing "Qt's Wayland client (qt6-wayland-dev)")
    elseif(NOT Qt6WaylandClient_VERSION VERSION_GREATER_EQUAL 6.4 OR
           NOT Qt6WaylandClient_VERSION VERSION_LESS 6.5)
        list(APPEND tide_wayland_missing
             "LayerShellQt (liblayershellqtinterface-dev) or private headers of Qt ${Qt6WaylandClient_VERSION}'s Wayland client")
    endif()
    if(NOT WAYLAND_PROTOCOLS_DIR)
        list(APPEND tide_wayland_missing "wayland-protocols")
    endif()
    if(NOT WAYLAND_SCANNER)
        list(APPEND tide_wayland_missing "wayland-scanner (libwayland-bin)")
    endif()
endif()
if(NOT WAYLAND_CLIENT_FOUND)
    list(APPEND tide_wayland_missing "libwayland-dev")
endif()
if(tide_wayland_missing AND TIDE_WAYLAND STREQUAL "ON")
    list(JOIN tide_wayland_missing ", " missing)
    message(FATAL_ERROR "TIDE_WAYLAND=ON, but this machine lacks: ${missing}")
endif()
set(tide_wayland ON)
if(tide_wayland_missing OR TIDE_WAYLAND STREQUAL "OFF")
    set(tide_wayland OFF)
    set(why "TIDE_WAYLAND=OFF")
    if(tide_wayland_missing)
        list(JOIN tide_wayland_missing ", " missing)
        set(why "no ${missing}")
        message(STATUS "The panel's native Wayland layer is off: ${why}")
    endif()
    # The tests of the layer skip with this reason.
    set_property(GLOBAL PROPERTY tide_wayland_off "${why}")
else()
    message(STATUS "The panel's Wayland layer: layer-shell through ${tide_layer_shell_name}"
                   " (TIDE_WAYLAND=OFF builds the X11 panel alone)")
    enable_language(C)
endif()

function(tide_panel_wayland target)
    set(room ${CMAKE_CURRENT_SOURCE_DIR}/platform/wayland)
    target_sources(${target} PRIVATE ${room}/wayland_layer.cpp ${room}/wayland_layer.h
                                     ${room}/layer_shell.h)
    if(NOT tide_wayland)
        # The X11 panel alone: no compositor is ever found to offer layer-shell.
        target_sources(${target} PRIVATE ${room}/no_layer_shell.cpp)
        return()
    endif()
    target_sources(${target} PRIVATE ${room}/layer_shell_offered.cpp)
    if(tide_layer_shell STREQUAL "LayerShellQt")
        target_sources(${target} PRIVATE ${room}/layer_shell_qt.cpp)
        target_link_libraries(${target} PRIVATE LayerShellQt::Interface PkgConfig::WAYLAND_CLIENT)
        return()
    endif()
    target_sources(${target} PRIVATE ${room}/layer_shell.cpp)
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
    target_include_directories(${target} PRIVATE ${generated} ${room}/qt6.4-private)
    # The integration is built in, a static plugin of Qt's Wayland platform.
    target_compile_definitions(${target} PRIVATE QT_STATICPLUGIN)
    target_link_libraries(${target} PRIVATE Qt6::WaylandClient Qt6::GuiPrivate
                                            PkgConfig::WAYLAND_CLIENT)
endfunction()
