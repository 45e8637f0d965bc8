# quorl_embed_files(<target> SECTION <name> FILES <symbol>=<file>...)
# Puts each file's bytes into <target>'s read-only data with no generated C
# array: an assembler file holds, for each, `.incbin "<file>"` between two
# hidden labels, <symbol>_begin and <symbol>_end, which C++ declares as
#   extern const uint8_t <symbol>_begin[] __attribute__((visibility("hidden")));
# Hidden, so that every module sees only its own bytes under a shared name.
# The object is rebuilt when a file changes. A file may be one that the build
# makes (a compiled resource script): its rule must be in the same folder.
function(quorl_embed_files target)
  cmake_parse_arguments(E "" "SECTION" "FILES" ${ARGN})
  set(asm ${CMAKE_CURRENT_BINARY_DIR}/${target}_${E_SECTION}.S)
  set(text "/* Made by quorl_embed_files (cmake/EmbedFiles.cmake). */\n")
  set(depends "")
  foreach(entry IN LISTS E_FILES)
    if(NOT entry MATCHES "^([A-Za-z_][A-Za-z0-9_]*)=(.+)$")
      message(FATAL_ERROR "quorl_embed_files(${target}): '${entry}' is not SYMBOL=FILE")
    endif()
    set(sym ${CMAKE_MATCH_1})
    get_filename_component(file ${CMAKE_MATCH_2} ABSOLUTE)
    list(APPEND depends ${file})
    string(APPEND text "    .section .rodata.${E_SECTION}, \"a\"\n    .balign 16\n"
                       "    .globl ${sym}_begin\n    .hidden ${sym}_begin\n${sym}_begin:\n"
                       "    .incbin \"${file}\"\n"
                       "    .globl ${sym}_end\n    .hidden ${sym}_end\n${sym}_end:\n")
  endforeach()
  string(APPEND text "    .section .note.GNU-stack, \"\", @progbits\n")
  file(CONFIGURE OUTPUT ${asm} CONTENT "${text}")
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS "${depends}")
  target_sources(${target} PRIVATE ${asm})
endfunction()
