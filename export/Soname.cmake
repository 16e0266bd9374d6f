# varimark_soname(VARIABLE LIBRARY): the SONAME of a shared library file, read by readelf.
# The libraries a barcode's maker seldom needs are loaded at run time (dlopen) by the SONAME
# of the very library the build found.
include_guard(GLOBAL)
function(varimark_soname variable library)
    execute_process(COMMAND ${CMAKE_READELF} -d ${library} OUTPUT_VARIABLE dynamic
        RESULT_VARIABLE failed)
    if(failed OR NOT dynamic MATCHES "\\(SONAME\\)[^[]*\\[([^]]+)\\]")
        message(FATAL_ERROR "no SONAME in ${library}")
    endif()
    set(${variable} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()

# varimark_loaded_library(KEY LIBRARY): KEY's SONAME for the code (VARIMARK_<KEY>_SONAME, set in
# the caller) and for the tests (the global property VARIMARK_LOADED_LIBRARIES, a list of
# KEY=SONAME).
function(varimark_loaded_library key library)
    varimark_soname(soname ${library})
    set(VARIMARK_${key}_SONAME ${soname} PARENT_SCOPE)
    set_property(GLOBAL APPEND PROPERTY VARIMARK_LOADED_LIBRARIES "${key}=${soname}")
endfunction()
