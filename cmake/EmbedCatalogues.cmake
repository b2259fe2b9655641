# Writes OUTPUT, a C++ source that holds the compiled message files INPUTS
# ("|" between them; each named LANGUAGE.mo) as byte arrays, so that the
# program carries its catalogues and looks for no file at run time.
string(REPLACE "|" ";" inputs "${INPUTS}")
set(arrays "")
set(entries "")
set(count 0)
foreach(input IN LISTS inputs)
  get_filename_component(language "${input}" NAME_WE)
  file(READ "${input}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
  string(APPEND arrays "const unsigned char k_${language}[] = {\n${bytes}};\n")
  string(APPEND entries "    {\"${language}\", k_${language}, sizeof k_${language}},\n")
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
  set(entries "    {\"\", nullptr, 0},\n")
endif()
file(WRITE "${OUTPUT}.new" "// Made by cmake/EmbedCatalogues.cmake from po/*.po: do not edit.
#include <cstddef>

namespace quenrix {
namespace {
${arrays}}  // namespace

struct CompiledCatalogue {
    const char* language;
    const unsigned char* bytes;
    std::size_t size;
};
extern const CompiledCatalogue kCompiledCatalogues[] = {
${entries}};
extern const std::size_t kCompiledCatalogueCount = ${count};

}  // namespace quenrix
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
