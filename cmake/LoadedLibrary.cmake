# The console's own libraries, all in lib/camconsole/ beside the driver
# library (in the build tree as in an installation), so each layer's code is
# in one file and the program and the libraries it loads share it instead of
# carrying copies.
#
# camconsole_shared_layer(TARGET OUTPUT_NAME)
#
# Makes TARGET (a layer's library, declared SHARED) lib<OUTPUT_NAME>.so.
# Each such library is linked with -z defs: every symbol it uses must come
# from a library it links, so a layer that calls into a layer above it, or
# one it does not link, fails to link. It finds the libraries it links
# beside itself ($ORIGIN).
function(camconsole_shared_layer target output_name)
    set_target_properties(${target} PROPERTIES
        OUTPUT_NAME ${output_name}
        BUILD_RPATH "$ORIGIN"
        INSTALL_RPATH "$ORIGIN")
    target_link_options(${target} PRIVATE LINKER:-z,defs)
    install(TARGETS ${target} LIBRARY DESTINATION ${CAMCONSOLE_INSTALL_DRIVERDIR})
endfunction()

# camconsole_add_loaded_library(TARGET OUTPUT_NAME SOURCES... LINKS library)
#
# A library that camconsole loads with dlopen only when a run needs it
# (lib/camconsole/lib<OUTPUT_NAME>.so). It exports only its entry point and
# finds the layers' libraries it links beside itself.
function(camconsole_add_loaded_library target output_name)
    cmake_parse_arguments(PARSE_ARGV 2 ARG "" "LINKS" "SOURCES")
    add_library(${target} MODULE ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LINKS})
    set_target_properties(${target} PROPERTIES
        OUTPUT_NAME ${output_name}
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON
        BUILD_RPATH "$ORIGIN"
        INSTALL_RPATH "$ORIGIN")
    target_link_options(${target} PRIVATE LINKER:-z,defs)
    install(TARGETS ${target} LIBRARY DESTINATION ${CAMCONSOLE_INSTALL_DRIVERDIR})
endfunction()
