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
include(${CMAKE_CURRENT_LIST_DIR}/EmbedFiles.cmake)

# Every plug-in file and what the build places beside it: a program that
# loads plug-ins depends on this, so that the plug-in folder is always whole.
add_custom_target(quorl_plugins)
set(QUORL_PARAM_NAMES_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/param_names.cpp.in)
find_package(nlohmann_json CONFIG REQUIRED)

# quorl_compile_resources(<out-var> RC <file.rc> [NAME <name>] [DEPENDS headers...] [DEFINES NAME=VALUE...])
# Compiles a resource script to <binary dir>/<name>.res (the script's own name
# by default) and returns its path.
function(quorl_compile_resources out_var)
  cmake_parse_arguments(R "" "RC;NAME" "DEPENDS;DEFINES" ${ARGN})
  get_filename_component(rc_abs ${R_RC} ABSOLUTE)
  get_filename_component(rc_name ${R_RC} NAME_WE)
  get_filename_component(rc_dir ${rc_abs} DIRECTORY)
  if(R_NAME)
    set(rc_name ${R_NAME})
  endif()
  list(TRANSFORM R_DEFINES PREPEND -D)
  set(res ${CMAKE_CURRENT_BINARY_DIR}/${rc_name}.res)
  add_custom_command(
    OUTPUT ${res}
    COMMAND ${QUORL_WINDRES} --preprocessor=${QUORL_CPP} ${R_DEFINES}
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
  # Listing the .res as a source ties its compile rule to this target when it
  # is made in the same folder.
  get_filename_component(res_dir ${E_RES} DIRECTORY)
  if(res_dir STREQUAL CMAKE_CURRENT_BINARY_DIR)
    target_sources(${target} PRIVATE ${E_RES})
    set_source_files_properties(${E_RES} PROPERTIES HEADER_FILE_ONLY ON GENERATED ON)
  endif()
  quorl_embed_files(${target} SECTION hostsdk_module_resources FILES hostsdk_module_res=${E_RES})
  # After the target's own sources, so that its static initialisers run last.
  target_sources(${target} PRIVATE ${QUORL_MODULE_ENTRY_SOURCE})
  target_link_libraries(${target} PRIVATE HostSDK ${CMAKE_DL_LIBS})
endfunction()

# quorl_param_names(<target> FILE <data file> TABLES <table>... HEADERS <header>... [LIBS <lib>...])
# Writes the plug-in's parameter-name tables into <data file> at build time.
# Each table is "CLASS_ID REFERENCE: PARAM=STRING PARAM=STRING ...", in the
# plug-in's own symbols: the class, the reference index of its block, and
# for each parameter index the string-table id of its name. HEADERS define
# the symbols; LIBS lend their include folders and compile options.
function(quorl_param_names target)
  cmake_parse_arguments(N "" "FILE" "TABLES;HEADERS;LIBS" ${ARGN})
  set(PN_TARGET ${target})
  set(PN_INCLUDES "")
  foreach(header ${N_HEADERS})
    string(APPEND PN_INCLUDES "#include \"${header}\"\n")
  endforeach()
  set(PN_TABLES "")
  foreach(table ${N_TABLES})
    if(NOT table MATCHES "^ *([^ :]+) +([^ :]+) *:(( +[^ =]+=[^ =]+)+) *$")
      message(FATAL_ERROR "${target}: PARAM_NAMES table '${table}' is not 'CLASS_ID REFERENCE: PARAM=STRING ...'")
    endif()
    set(class ${CMAKE_MATCH_1})
    set(reference ${CMAKE_MATCH_2})
    string(STRIP "${CMAKE_MATCH_3}" pairs)
    string(REGEX REPLACE " +" ";" pairs "${pairs}")
    list(TRANSFORM pairs REPLACE "^(.*)=(.*)$" "{\\1, \\2}")
    list(JOIN pairs ", " pairs)
    string(APPEND PN_TABLES "  Table(${class}, ${reference}, {${pairs}});\n")
  endforeach()
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${target}_param_names.cpp)
  configure_file(${QUORL_PARAM_NAMES_TEMPLATE} ${source} @ONLY)
  set(writer ${target}_param_names)
  add_executable(${writer} ${source})
  target_include_directories(${writer} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                             $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>)
  target_compile_definitions(${writer} PRIVATE $<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>)
  # The plug-in's headers are compiled as the plug-in compiles them.
  foreach(lib ${N_LIBS})
    target_include_directories(${writer} PRIVATE $<TARGET_PROPERTY:${lib},INTERFACE_INCLUDE_DIRECTORIES>)
    target_compile_options(${writer} PRIVATE $<TARGET_PROPERTY:${lib},INTERFACE_COMPILE_OPTIONS>)
  endforeach()
  target_link_libraries(${writer} PRIVATE HostSDK nlohmann_json::nlohmann_json)
  set_target_properties(${writer} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  add_custom_command(OUTPUT ${N_FILE} COMMAND ${writer} ${N_FILE} DEPENDS ${writer}
                     COMMENT "Writing the parameter names of ${target}" VERBATIM)
  # Made with the plug-in, so that the plug-in folder is always complete.
  target_sources(${target} PRIVATE ${N_FILE})
  set_source_files_properties(${N_FILE} PROPERTIES HEADER_FILE_ONLY ON GENERATED ON)
endfunction()

# quorl_host_entries(<target> FILE <module file> SOURCES ...)
# The small module beside a plug-in file that offers the host the operations
# of its classes beyond the SDK's virtual functions (hostside/host_entries.h):
# SOURCES define HostEntries against the plug-in's own headers. The module
# links the plug-in file, bound at load, and exports nothing else.
function(quorl_host_entries target)
  cmake_parse_arguments(H "" "FILE" "SOURCES" ${ARGN})
  set(module ${target}_host_entries)
  add_library(${module} SHARED ${H_SOURCES})
  get_filename_component(folder ${H_FILE} DIRECTORY)
  get_filename_component(name ${H_FILE} NAME)
  target_link_libraries(${module} PRIVATE ${target} HostSDK quorl_warnings)
  target_include_directories(${module} PRIVATE $<TARGET_PROPERTY:${target},SOURCE_DIR>)
  set_target_properties(${module} PROPERTIES PREFIX "" SUFFIX "" OUTPUT_NAME ${name} LIBRARY_OUTPUT_DIRECTORY ${folder}
                                             BUILD_RPATH_USE_ORIGIN ON BUILD_RPATH "$ORIGIN;$ORIGIN/../lib")
  target_link_options(${module} PRIVATE -Wl,-z,now -Wl,-z,defs)
  add_dependencies(quorl_plugins ${module})
endfunction()

# add_host_plugin(<target> SUFFIX .dlu|.dlt RC <file.rc> SOURCES ... [RC_DEPENDS ...] [RC_DEFINES ...] [LIBS ...]
#                 [FOLDER <dir>] [PARAM_NAMES <table>... PARAM_NAMES_FROM <header>...] [HOST_ENTRIES <source>...])
# FOLDER: where the file goes (default: the build's plug-in folder).
# PARAM_NAMES: names for the parameters of classes that do not answer the
# host's name query (see quorl_param_names), written beside the plug-in file
# as <file>.param-names.json, which the host reads for any plug-in file.
# HOST_ENTRIES: the sources of <file>.host-entries.so (quorl_host_entries).
function(add_host_plugin target)
  cmake_parse_arguments(P "" "SUFFIX;RC;FOLDER"
                        "SOURCES;RC_DEPENDS;RC_DEFINES;LIBS;PARAM_NAMES;PARAM_NAMES_FROM;HOST_ENTRIES" ${ARGN})
  if(NOT P_FOLDER)
    set(P_FOLDER ${QUORL_PLUGIN_DIR})
  endif()
  quorl_compile_resources(res RC ${P_RC} NAME ${target} DEPENDS ${P_RC_DEPENDS} DEFINES ${P_RC_DEFINES})
  add_library(${target} SHARED ${P_SOURCES})
  quorl_embed_module(${target} RES ${res})
  target_link_libraries(${target} PRIVATE quorl_warnings ${P_LIBS})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    SUFFIX ${P_SUFFIX}
    OUTPUT_NAME ${target}
    LIBRARY_OUTPUT_DIRECTORY ${P_FOLDER}
    # No absolute build paths: a plug-in finds its libraries beside itself
    # (and the host layer in ../lib) or not at all, as the loader would.
    BUILD_RPATH_USE_ORIGIN ON
    BUILD_RPATH "$ORIGIN;$ORIGIN/../lib")
  target_link_options(${target} PRIVATE -Wl,-z,now -Wl,-z,defs -Wl,--as-needed)
  set_property(TARGET ${target} PROPERTY QUORL_RES_FILE ${res})
  add_dependencies(quorl_plugins ${target})
  if(P_PARAM_NAMES)
    quorl_param_names(${target} FILE ${P_FOLDER}/${target}${P_SUFFIX}.param-names.json
                      TABLES ${P_PARAM_NAMES} HEADERS ${P_PARAM_NAMES_FROM} LIBS ${P_LIBS})
  endif()
  if(P_HOST_ENTRIES)
    quorl_host_entries(${target} FILE ${P_FOLDER}/${target}${P_SUFFIX}.host-entries.so SOURCES ${P_HOST_ENTRIES})
  endif()
endfunction()
