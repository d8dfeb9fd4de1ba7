# Writes a C++ source that holds the bytes of a file, so that the library
# carries the file and needs no copy of it on disk:
#
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=kName -P EmbedFile.cmake
#
# The source defines `const unsigned char SYMBOL[]` and `const size_t
# SYMBOL_size` in namespace urdulex::internal.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)"
       "\\1\n  " bytes "${bytes}")
get_filename_component(name ${INPUT} NAME)
file(WRITE ${OUTPUT}.tmp
"// Made by cmake/EmbedFile.cmake from ${name}; do not edit.
#include <cstddef>

namespace urdulex::internal {

extern const unsigned char ${SYMBOL}[] = {
  ${bytes}0};
extern const size_t ${SYMBOL}_size = ${size};

}  // namespace urdulex::internal
")
configure_file(${OUTPUT}.tmp ${OUTPUT} COPYONLY)  # written only when changed
file(REMOVE ${OUTPUT}.tmp)
