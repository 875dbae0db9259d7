# Windows builds of both programs: GUI subsystem, a resource script with the
# icon and the version, and an install folder that holds Qt beside the
# executables. The resource scripts are configured on every platform, so that
# the cross tests can compile them.

# tide_resource_script(program version): ${PROJECT_BINARY_DIR}/resources/<program>.rc
function(tide_resource_script program version)
    string(REPLACE "." "," commas "${version}")
    set(TIDE_RC_VERSION "${version}")
    set(TIDE_RC_VERSION_COMMAS "${commas},0")
    set(TIDE_RC_ICON "${PROJECT_SOURCE_DIR}/resources/${program}.ico")
    configure_file(${PROJECT_SOURCE_DIR}/resources/${program}.rc.in
                   ${PROJECT_BINARY_DIR}/resources/${program}.rc @ONLY)
endfunction()

tide_resource_script(tidepanel ${TIDEPANEL_VERSION})
tide_resource_script(tideedit ${TIDEEDIT_VERSION})

if(NOT WIN32)
    return()
endif()

# windeployqt sits beside qmake in every Qt for Windows.
get_target_property(tide_qmake Qt6::qmake IMPORTED_LOCATION)
get_filename_component(tide_qt_bin "${tide_qmake}" DIRECTORY)
find_program(TIDE_WINDEPLOYQT windeployqt HINTS "${tide_qt_bin}" REQUIRED)

foreach(program tidepanel tideedit)
    if(NOT TARGET ${program})
        continue()
    endif()
    # No console window beside the program.
    set_target_properties(${program} PROPERTIES WIN32_EXECUTABLE ON)
    target_sources(${program} PRIVATE ${PROJECT_BINARY_DIR}/resources/${program}.rc)
    # After the program's own install rule: Qt's libraries, plugins and the
    # compiler's runtime go beside it, so the folder runs on a machine without
    # Qt. windeployqt tells a debug from a release build by itself.
    install(CODE "
        execute_process(
            COMMAND \"${TIDE_WINDEPLOYQT}\" \"\${CMAKE_INSTALL_PREFIX}/${program}.exe\"
            RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR \"windeployqt failed for ${program}.exe: \${result}\")
        endif()
    ")
endforeach()
