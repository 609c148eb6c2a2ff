# Writes OUTPUT, a C++ file holding the bytes of FILES (a ;-list of paths) for pageFile().
set(arrays "")
set(entries "")
set(index 0)
foreach(path IN LISTS FILES)
  file(READ ${path} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  get_filename_component(name ${path} NAME)
  string(APPEND arrays "const unsigned char File${index}[] = {${bytes}};\n")
  string(APPEND entries "        {\"${name}\", bytesOf(File${index}, sizeof File${index})},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.new "// Made by EmbedPage.cmake from look/page/: not to be edited.
#include \"look/PageFiles.h\"

#include <array>

namespace umbrix::look {

namespace {

${arrays}
std::string_view bytesOf(const unsigned char* bytes, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes), size};
}

} // namespace

const PageFile* pageFile(std::string_view name) {
    static const PageFile files[] = {
${entries}    };
    for (const PageFile& file : files)
        if (file.name == name)
            return &file;
    return nullptr;
}

} // namespace umbrix::look
")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
