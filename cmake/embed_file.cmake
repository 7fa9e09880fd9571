# Writes a C++ source that holds a file's bytes as a constant array, so that
# a picture has one source, the file, and the program still carries it.
#   cmake -DINPUT=file -DOUTPUT=source.cpp -DHEADER=declaring.h -DSYMBOL=name -P embed_file.cmake
# The array is SYMBOL and its size SYMBOLSize, both in namespace kestrana.
foreach(var IN ITEMS INPUT OUTPUT HEADER SYMBOL)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "embed_file.cmake: ${var} is not set")
  endif()
endforeach()
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
  message(FATAL_ERROR "embed_file.cmake: ${INPUT} is empty")
endif()
# Sixteen bytes to a line.
string(REPEAT "[0-9a-f]" 32 line)
string(REGEX REPLACE "(${line})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " bytes "${hex}")
string(REGEX REPLACE " ?\n" "\n    " bytes "${bytes}")
string(STRIP "${bytes}" bytes)
string(REGEX REPLACE ",$" ",\n" bytes "    ${bytes}")
get_filename_component(name "${INPUT}" NAME)
set(text "// Generated at build time from ${name} by cmake/embed_file.cmake.\n")
string(APPEND text "#include \"${HEADER}\"\n\nnamespace kestrana {\n\n")
string(APPEND text "extern const unsigned char ${SYMBOL}[] = {\n${bytes}};\n")
string(APPEND text "extern const unsigned ${SYMBOL}Size = ${size};\n\n}  // namespace kestrana\n")
# Unchanged bytes leave the file, and so everything built from it, alone.
file(WRITE "${OUTPUT}.tmp" "${text}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
