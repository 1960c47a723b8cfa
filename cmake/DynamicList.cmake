# cmake -DNM=<nm> -DMODULE=<shared object> -DOUTPUT=<file> -P DynamicList.cmake
# Writes a linker dynamic list naming every dynamic symbol of MODULE, the ones it defines and the
# ones it needs: the symbols an executable has to export for that module and no more.
execute_process(COMMAND "${NM}" -D --format=posix "${MODULE}"
  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} cannot list the symbols of ${MODULE}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(names "")
foreach(line IN LISTS lines)
  # "name type [value size]"; versioned references to libraries end in @VERSION.
  if(line MATCHES "^([^ @]+)")
    list(APPEND names "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(REMOVE_DUPLICATES names)
list(SORT names)
set(text "{\n")
foreach(name IN LISTS names)
  string(APPEND text "  \"${name}\";\n")
endforeach()
string(APPEND text "};\n")
file(WRITE "${OUTPUT}.new" "${text}")
# Unchanged content keeps the program from relinking.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
