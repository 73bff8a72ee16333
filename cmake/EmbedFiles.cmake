# Writes OUT: one `static const unsigned char k_<name>[]` array per file in DIR, for programs that
# carry their files inside them.
file(GLOB FILES ${DIR}/*)
list(SORT FILES)
set(_out "// Made by cmake/EmbedFiles.cmake; do not edit.\n")
foreach(_f IN LISTS FILES)
    file(READ ${_f} _hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _hex "${_hex}")
    get_filename_component(_name ${_f} NAME)
    string(MAKE_C_IDENTIFIER ${_name} _id)
    string(APPEND _out "static const unsigned char k_${_id}[] = {${_hex}};\n")
endforeach()
file(WRITE ${OUT}.tmp "${_out}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
