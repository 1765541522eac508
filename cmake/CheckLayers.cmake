# Checks that every folder of the console includes only its own headers and
# those of the folders it may use (docs/architecture.md): a layer uses the
# layers below it, never one above, and no two folders include each other.
# Run by the build (target check_layers):
#   cmake -DSOURCE_DIR=<source dir> -P cmake/CheckLayers.cmake

cmake_minimum_required(VERSION 3.21)

# The folders each folder may include, lowest layer first.
set(core_folders common platform decode link driver procedures frames)
set(may_include_common "")
set(may_include_platform common)
set(may_include_decode common platform)
set(may_include_link common platform)
set(may_include_driver common platform)
set(may_include_procedures common platform decode link driver)
set(may_include_frames common platform decode link driver procedures)
set(may_include_qt_io ${core_folders})
set(may_include_cli ${core_folders} qt_io)
set(may_include_image ${core_folders})
set(may_include_inspector ${core_folders} image)
set(may_include_console ${core_folders} qt_io cli image inspector)
# The headless runs reach the image layer only through png_writers.h, whose
# library they load when they write a PNG file.
set(may_include_headless ${core_folders} qt_io cli image/png_writers.h)
set(may_include_app ${core_folders} qt_io cli headless console/window_entry.h)
set(checked_folders common platform decode link driver procedures frames qt_io cli image inspector console headless
    app)

set(violations "")
# The core is plain C++: a Qt header there is refused here as well as by the
# compiler (the core has no Qt on its include path).
foreach(folder IN LISTS core_folders)
    file(GLOB sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" qt_includes REGEX "^[ \t]*#[ \t]*include[ \t]*<Q[A-Za-z]+>")
        if(qt_includes)
            file(RELATIVE_PATH where "${SOURCE_DIR}" "${source}")
            list(APPEND violations "${where}: a Qt header in the core (${folder}/)")
        endif()
    endforeach()
endforeach()
foreach(folder IN LISTS checked_folders)
    file(GLOB sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+/[^\"]+\"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" header "${line}")
            string(REGEX REPLACE "/.*$" "" target_folder "${header}")
            if(target_folder STREQUAL folder)
                continue()
            endif()
            if(NOT target_folder IN_LIST checked_folders)
                continue() # not a folder of the console (e.g. tarqis/, sim/)
            endif()
            if(target_folder IN_LIST may_include_${folder} OR header IN_LIST may_include_${folder})
                continue()
            endif()
            file(RELATIVE_PATH where "${SOURCE_DIR}" "${source}")
            list(APPEND violations "${where}: ${header} (${folder}/ may not include ${target_folder}/)")
        endforeach()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Includes across the layers:\n  ${text}")
endif()
