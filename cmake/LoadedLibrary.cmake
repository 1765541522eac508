# camconsole_add_loaded_library(TARGET OUTPUT_NAME SOURCES... LINKS library)
#
# A library that camconsole loads with dlopen only when a run needs it
# (lib/camconsole/lib<OUTPUT_NAME>.so). It carries the layer it is built on,
# and exports only its entry point: the layers' own symbols stay hidden, so
# two loaded libraries never meet on a symbol.
function(camconsole_add_loaded_library target output_name)
    cmake_parse_arguments(PARSE_ARGV 2 ARG "" "LINKS" "SOURCES")
    add_library(${target} MODULE ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LINKS})
    set_target_properties(${target} PROPERTIES
        OUTPUT_NAME ${output_name}
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    target_link_options(${target} PRIVATE LINKER:--exclude-libs,ALL)
    install(TARGETS ${target} LIBRARY DESTINATION ${CAMCONSOLE_INSTALL_DRIVERDIR})
endfunction()
