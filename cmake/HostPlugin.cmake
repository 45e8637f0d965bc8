# Building the host's plug-in files (.dlu, .dlt) alike.
#
# A plug-in is a shared library named exactly as the host expects (no "lib"
# prefix, the plug-in suffix, the file name as SONAME) in the build's plug-in
# folder. Its Windows resource script is compiled to a standard .res file and
# embedded in the module's read-only data; the host layer's entry object, linked
# last, registers those bytes under the module's instance handle and calls the
# module's DllMain once every static object of the module exists.

find_program(QUORL_WINDRES NAMES llvm-windres llvm-windres-16 llvm-windres-15 llvm-windres-14
             x86_64-w64-mingw32-windres windres REQUIRED)
find_program(QUORL_CPP NAMES cpp REQUIRED)

get_filename_component(QUORL_HOSTSDK_DIR ${CMAKE_CURRENT_LIST_DIR}/../HostSDK ABSOLUTE)
set(QUORL_MODULE_ENTRY_SOURCE ${QUORL_HOSTSDK_DIR}/src/object_model/module_entry.cpp)
set(QUORL_RESOURCE_EMBED_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/resource_embed.S.in)

# quorl_compile_resources(<out-var> RC <file.rc> [DEPENDS headers...])
# Compiles a resource script to <binary dir>/<name>.res and returns its path.
function(quorl_compile_resources out_var)
  cmake_parse_arguments(R "" "RC" "DEPENDS" ${ARGN})
  get_filename_component(rc_abs ${R_RC} ABSOLUTE)
  get_filename_component(rc_name ${R_RC} NAME_WE)
  get_filename_component(rc_dir ${rc_abs} DIRECTORY)
  set(res ${CMAKE_CURRENT_BINARY_DIR}/${rc_name}.res)
  add_custom_command(
    OUTPUT ${res}
    COMMAND ${QUORL_WINDRES} --preprocessor=${QUORL_CPP}
            -I ${rc_dir} -I ${QUORL_HOSTSDK_DIR}/include
            -i ${rc_abs} -o ${res} -O res
    DEPENDS ${rc_abs} ${R_DEPENDS}
            ${QUORL_HOSTSDK_DIR}/include/winresrc.h
    COMMENT "Compiling resources ${rc_name}.rc"
    VERBATIM)
  set(${out_var} ${res} PARENT_SCOPE)
endfunction()

# quorl_embed_module(<target> RES <file.res>)
# Makes <target> a module in the host's sense: its resources are embedded and
# the entry object (linked last) runs DllMain after the module's static objects.
function(quorl_embed_module target)
  cmake_parse_arguments(E "" "RES" "" ${ARGN})
  set(asm ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.S)
  set(QUORL_RES_FILE ${E_RES})
  configure_file(${QUORL_RESOURCE_EMBED_TEMPLATE} ${asm} @ONLY)
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS ${E_RES})
  # Listing the .res as a source ties its compile rule to this target when it
  # is made in the same folder.
  get_filename_component(res_dir ${E_RES} DIRECTORY)
  if(res_dir STREQUAL CMAKE_CURRENT_BINARY_DIR)
    target_sources(${target} PRIVATE ${E_RES})
    set_source_files_properties(${E_RES} PROPERTIES HEADER_FILE_ONLY ON GENERATED ON)
  endif()
  # Sources after the target's own, so their static initialisers run last.
  target_sources(${target} PRIVATE ${asm} ${QUORL_MODULE_ENTRY_SOURCE})
  target_link_libraries(${target} PRIVATE HostSDK ${CMAKE_DL_LIBS})
endfunction()

# add_host_plugin(<target> SUFFIX .dlu|.dlt RC <file.rc> SOURCES ... [RC_DEPENDS ...] [LIBS ...])
function(add_host_plugin target)
  cmake_parse_arguments(P "" "SUFFIX;RC" "SOURCES;RC_DEPENDS;LIBS" ${ARGN})
  quorl_compile_resources(res RC ${P_RC} DEPENDS ${P_RC_DEPENDS})
  add_library(${target} SHARED ${P_SOURCES})
  quorl_embed_module(${target} RES ${res})
  target_link_libraries(${target} PRIVATE quorl_warnings ${P_LIBS})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    SUFFIX ${P_SUFFIX}
    OUTPUT_NAME ${target}
    LIBRARY_OUTPUT_DIRECTORY ${QUORL_PLUGIN_DIR}
    # No absolute build paths: a plug-in finds its libraries beside itself
    # (and the host layer in ../lib) or not at all, as the loader would.
    BUILD_RPATH_USE_ORIGIN ON
    BUILD_RPATH "$ORIGIN;$ORIGIN/../lib")
  target_link_options(${target} PRIVATE -Wl,-z,now -Wl,-z,defs -Wl,--as-needed)
  set_property(TARGET ${target} PROPERTY QUORL_RES_FILE ${res})
endfunction()
