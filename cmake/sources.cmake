# rk_sources(<var> <file>... [ELSEWHERE <file>...]): the named source files
# of the current folder, with their full paths, in <var>.
#
# Each library and test program lists its files by hand, so that a file
# joins one only by being named here.  The other side of that is a file
# someone forgot to name, which would sit in the folder unbuilt and
# untested: so every .cpp of the folder must be either listed or named
# under ELSEWHERE (built by another target, such as the entry point or the
# other system's side), and configuring stops on one that is neither.
function(rk_sources var)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "ELSEWHERE")
  set(files ${arg_UNPARSED_ARGUMENTS})
  file(GLOB present RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(f ${present})
    if(NOT f IN_LIST files AND NOT f IN_LIST arg_ELSEWHERE)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${f} is in no source list: "
                          "name it in ${CMAKE_CURRENT_LIST_FILE}")
    endif()
  endforeach()
  set(paths)
  foreach(f ${files})
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${f})
      message(FATAL_ERROR "${CMAKE_CURRENT_LIST_FILE} lists ${f}, which is not there")
    endif()
    list(APPEND paths ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  endforeach()
  set(${var} ${paths} PARENT_SCOPE)
endfunction()
