# Windows builds of both programs: GUI subsystem, a resource script with the
# icon and the version, and an install folder that holds Qt beside the
# executables. The resource scripts are configured on every platform, so that
# the cross tests can compile them.

# The maker and the copyright as the about box shows them.
set(TIDE_RC_COMPANY "潮汐面板项目组")
set(TIDE_RC_COPYRIGHT "2025-2026 潮汐组")

# tide_resource_script(program version): ${PROJECT_BINARY_DIR}/resources/<program>.rc
# and its manifest beside it.
function(tide_resource_script program version)
    string(REPLACE "." "," commas "${version}")
    set(TIDE_RC_VERSION "${version}")
    set(TIDE_RC_VERSION_COMMAS "${commas},0")
    set(TIDE_RC_ICON "${PROJECT_SOURCE_DIR}/resources/${program}.ico")
    set(TIDE_RC_PROGRAM ${program})
    set(TIDE_RC_MANIFEST "${PROJECT_BINARY_DIR}/resources/${program}.manifest")
    configure_file(${PROJECT_SOURCE_DIR}/resources/tide.manifest.in ${TIDE_RC_MANIFEST} @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/resources/${program}.rc.in
                   ${PROJECT_BINARY_DIR}/resources/${program}.rc @ONLY)
endfunction()

tide_resource_script(tidepanel ${TIDEPANEL_VERSION})
tide_resource_script(tideedit ${TIDEEDIT_VERSION})

if(NOT WIN32)
    return()
endif()

foreach(program tidepanel tideedit)
    # No console window beside the program.
    set_target_properties(${program} PROPERTIES WIN32_EXECUTABLE ON)
    target_sources(${program} PRIVATE ${PROJECT_BINARY_DIR}/resources/${program}.rc)
endforeach()

# A short readme in Chinese: what the programs are, how to install and remove
# them, where the file is. UTF-8 with a byte-order mark, which every Notepad reads.
install(FILES "${PROJECT_SOURCE_DIR}/resources/说明.txt" DESTINATION .)

if(NOT CMAKE_CROSSCOMPILING)
    get_target_property(tide_qmake Qt6::qmake IMPORTED_LOCATION)
    # windeployqt sits beside qmake in every Qt for Windows.
    get_filename_component(tide_qt_bin "${tide_qmake}" DIRECTORY)
    find_program(TIDE_WINDEPLOYQT windeployqt HINTS "${tide_qt_bin}" REQUIRED)
    foreach(program tidepanel tideedit)
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
    return()
endif()

# A cross build has no windeployqt that runs here: the folder is laid out by
# hand. Qt's DLLs and plugins come from the Qt that was found, the compiler's
# runtime from the compiler itself.
get_filename_component(tide_qt_prefix "${Qt6_DIR}/../../.." ABSOLUTE)
foreach(lib Core Gui Widgets)
    install(FILES "${tide_qt_prefix}/bin/Qt6${lib}.dll" DESTINATION .)
endforeach()
install(FILES "${tide_qt_prefix}/plugins/platforms/qwindows.dll" DESTINATION platforms)
install(FILES "${tide_qt_prefix}/plugins/styles/qwindowsvistastyle.dll" DESTINATION styles)
# The about box's picture is a JPEG.
install(FILES "${tide_qt_prefix}/plugins/imageformats/qjpeg.dll" DESTINATION imageformats)
# Qt's Chinese texts (standard buttons). A translation is the same file on
# every platform: Debian's (qt6-translations-l10n) serves.
find_file(TIDE_QT_ZH_CN qtbase_zh_CN.qm PATHS /usr/share/qt6/translations
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT TIDE_QT_ZH_CN)
    message(FATAL_ERROR "qtbase_zh_CN.qm not found: install qt6-translations-l10n")
endif()
install(FILES "${TIDE_QT_ZH_CN}" DESTINATION translations)
foreach(dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE tide_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT EXISTS "${tide_dll}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no ${dll}")
    endif()
    install(FILES "${tide_dll}" DESTINATION .)
    # Debian ships them with their symbols: a fifth of the size.
    install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
                                          \"\${CMAKE_INSTALL_PREFIX}/${dll}\")")
endforeach()

# cpack: tide-<version>-win64.zip holds one folder, 潮汐面板, as it goes under
# C:\Program Files: unzipped there it is in place, and unzipped anywhere it
# never scatters its files.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tide)
set(CPACK_PACKAGE_VERSION ${TIDEPANEL_VERSION})
set(CPACK_PACKAGE_FILE_NAME tide-${TIDEPANEL_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGING_INSTALL_PREFIX /潮汐面板)
set(CPACK_STRIP_FILES ON)
include(CPack)

# The setup a shop runs, tide-<version>-setup.exe beside the zip: NSIS's makensis
# over a staged copy of the same folder (resources/setup.nsi).
find_program(TIDE_MAKENSIS makensis)
if(NOT TIDE_MAKENSIS)
    message(STATUS "makensis not found (Debian's nsis): no setup target")
    return()
endif()
set(tide_setup_dir ${PROJECT_BINARY_DIR}/setup)
file(CONFIGURE OUTPUT ${tide_setup_dir}/defines.nsh CONTENT [[
!define VERSION "@TIDEPANEL_VERSION@"
!define COMPANY "@TIDE_RC_COMPANY@"
!define COPYRIGHT "@TIDE_RC_COPYRIGHT@"
!define ICON "@PROJECT_SOURCE_DIR@/resources/tidepanel.ico"
!define STAGE "@tide_setup_dir@/stage"
!define OUTFILE "@PROJECT_BINARY_DIR@/tide-@TIDEPANEL_VERSION@-setup.exe"
]] @ONLY)
add_custom_target(setup
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${tide_setup_dir}/stage
    COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix ${tide_setup_dir}/stage --strip
    COMMAND ${CMAKE_COMMAND} -DSTAGE=${tide_setup_dir}/stage -DOUT=${tide_setup_dir}/files.nsh
            -P ${PROJECT_SOURCE_DIR}/cmake/setup_files.cmake
    COMMAND ${TIDE_MAKENSIS} -V2 -INPUTCHARSET UTF8 -DDEFINES=${tide_setup_dir}/defines.nsh
            -DFILES=${tide_setup_dir}/files.nsh ${PROJECT_SOURCE_DIR}/resources/setup.nsi
    VERBATIM)
add_dependencies(setup tidepanel tideedit)
