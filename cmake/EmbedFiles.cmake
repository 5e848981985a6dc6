# Writes a C++ source that holds every file below a folder as a byte array,
# with its path relative to that folder ('/' separated), in name order.
#   cmake -DFOLDER=<folder> -DOUTPUT=<file.cpp> -DHEADER=<include> -DSYMBOL=<name> -P EmbedFiles.cmake
# The source defines
#   const SuppliedFile <SYMBOL>[];  const size_t <SYMBOL>Count;
# with SuppliedFile {const char* path; const unsigned char* data; size_t size;}
# declared in HEADER.
file(GLOB_RECURSE files RELATIVE "${FOLDER}" LIST_DIRECTORIES false "${FOLDER}/*")
list(SORT files)
set(arrays "")
set(entries "")
set(index 0)
foreach(relative IN LISTS files)
  file(READ "${FOLDER}/${relative}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # A trailing zero keeps the array non-empty for an empty file.
  string(APPEND arrays "const unsigned char kFile${index}[] = {\n    ${bytes}0x00};\n")
  string(APPEND entries "    {\"${relative}\", kFile${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
if(index EQUAL 0)
  set(entries "    {nullptr, nullptr, 0},\n")
endif()
set(text "// Generated from ${FOLDER} at build time; edit the files there.\n#include \"${HEADER}\"\n\nnamespace {\n\n${arrays}\n}  // namespace\n\nconst SuppliedFile ${SYMBOL}[] = {\n${entries}};\nconst size_t ${SYMBOL}Count = ${index};\n")
# Rewrite only on change, so that an unchanged folder rebuilds nothing.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
