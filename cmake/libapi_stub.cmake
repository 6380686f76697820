# Writes a C file that defines every function libapi.h declares, each answering
# DLL_ERR_NOT_READY (no device). Linking saffron against it proves that a
# vendor build needs the platform header and nothing else of ours.
#   cmake -DHEADER=libapi.h -DOUT=libapi_stub.c -P libapi_stub.cmake
file(READ ${HEADER} text)
# Comments out first, so a prototype quoted in one is not taken for a declaration.
string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" "" text "${text}")
string(REGEX REPLACE "//[^\n]*" "" text "${text}")
# A ";" would split CMake's lists: each declaration ends in "@END" instead.
string(REPLACE ";" "@END" text "${text}")
string(REGEX MATCHALL "int[ \t\n]+DLL_[A-Za-z0-9_]+[ \t\n]*\\([^@{)]*\\)[ \t\n]*@END" declarations "${text}")
list(LENGTH declarations count)
if(count EQUAL 0)
  message(FATAL_ERROR "libapi_stub: no DLL_ functions found in ${HEADER}")
endif()
set(body "/* Generated from libapi.h by cmake/libapi_stub.cmake: every call reports no device. */\n")
string(APPEND body "#include \"libapi.h\"\n\n")
foreach(declaration IN LISTS declarations)
  string(REGEX REPLACE "[ \t\n]+" " " declaration "${declaration}")
  string(REGEX REPLACE " *@END$" "" declaration "${declaration}")
  string(APPEND body "${declaration} { return DLL_ERR_NOT_READY; }\n")
endforeach()
file(WRITE ${OUT}.tmp "${body}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
