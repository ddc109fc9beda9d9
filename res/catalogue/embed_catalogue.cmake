# Makes the catalogue page self-contained: its style sheets and scripts inline, and a
# Content-Security-Policy that lets only those run. Either
#   cmake -DOUTPUT=catalogue_page.cpp -P embed_catalogue.cmake
# writes a C++ source with the page before its data and after it, or
#   cmake -DDATA=data.json -DPAGE=page.html -P embed_catalogue.cmake
# writes a whole page with the data given.
cmake_minimum_required(VERSION 3.20)
set(here "${CMAKE_CURRENT_LIST_DIR}")
file(READ "${here}/catalogue.html" page)

# The SHA-256 of `text` in base64, as a Content-Security-Policy names it.
function(sha256_base64 text out)
    string(SHA256 hex "${text}")
    set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
    set(result "")
    foreach(at RANGE 0 59 6)
        string(SUBSTRING "${hex}" ${at} 6 chunk)
        math(EXPR value "0x${chunk}")
        foreach(shift 18 12 6 0)
            math(EXPR index "(${value} >> ${shift}) & 63")
            string(SUBSTRING "${alphabet}" ${index} 1 digit)
            string(APPEND result "${digit}")
        endforeach()
    endforeach()
    # The last two bytes: three digits and the padding.
    string(SUBSTRING "${hex}" 60 4 chunk)
    math(EXPR value "0x${chunk} << 2")
    foreach(shift 12 6 0)
        math(EXPR index "(${value} >> ${shift}) & 63")
        string(SUBSTRING "${alphabet}" ${index} 1 digit)
        string(APPEND result "${digit}")
    endforeach()
    set(${out} "${result}=" PARENT_SCOPE)
endfunction()

# Takes every tag of `page` from `open` to the `close` after it, with its attribute `attribute`
# naming a file; leaves `marker` where the first was. The files' text, joined, is `contents`.
function(take_tags open attribute close marker contents)
    set(joined "")
    set(first TRUE)
    while(TRUE)
        string(FIND "${page}" "${open}" start)
        if(start EQUAL -1)
            break()
        endif()
        string(SUBSTRING "${page}" ${start} -1 rest)
        string(FIND "${rest}" "${close}" end)
        if(end EQUAL -1)
            message(FATAL_ERROR "catalogue.html: '${open}' is not closed by '${close}'")
        endif()
        string(LENGTH "${close}" closeLength)
        math(EXPR tagLength "${end} + ${closeLength}")
        string(SUBSTRING "${rest}" 0 ${tagLength} tag)
        if(NOT tag MATCHES "${attribute}=\"([^\"]+)\"")
            message(FATAL_ERROR "catalogue.html: '${tag}' names no file")
        endif()
        file(READ "${here}/${CMAKE_MATCH_1}" text)
        foreach(forbidden "</script" "</style" "<!--")
            string(TOLOWER "${text}" lower)
            string(FIND "${lower}" "${forbidden}" found)
            if(NOT found EQUAL -1)
                message(FATAL_ERROR "${CMAKE_MATCH_1} holds '${forbidden}', which would end the "
                                    "element it is put in")
            endif()
        endforeach()
        string(APPEND joined "${text}")
        string(SUBSTRING "${page}" 0 ${start} before)
        string(SUBSTRING "${rest}" ${tagLength} -1 after)
        if(first)
            set(page "${before}${marker}${after}")
            set(first FALSE)
        else()
            set(page "${before}${after}")
        endif()
    endwhile()
    set(page "${page}" PARENT_SCOPE)
    set(${contents} "${joined}" PARENT_SCOPE)
endfunction()

take_tags("<link rel=\"stylesheet\"" "href" ">" "@style@" style)
take_tags("<script src=" "src" "</script>" "@script@" script)
sha256_base64("${style}" styleHash)
sha256_base64("${script}" scriptHash)
set(policy "default-src 'none'; script-src 'sha256-${scriptHash}'; style-src 'sha256-${styleHash}'; img-src 'none'; base-uri 'none'; form-action 'none'")
string(REPLACE "<meta name=\"catalogue-policy\">"
               "<meta http-equiv=\"Content-Security-Policy\" content=\"${policy}\">" page "${page}")
# Put in last, so that nothing in them is taken for a marker.
string(FIND "${page}" "@style@" at)
string(SUBSTRING "${page}" 0 ${at} before)
math(EXPR at "${at} + 7")
string(SUBSTRING "${page}" ${at} -1 after)
set(page "${before}<style>${style}</style>${after}")
string(FIND "${page}" "@script@" at)
string(SUBSTRING "${page}" 0 ${at} before)
math(EXPR at "${at} + 8")
string(SUBSTRING "${page}" ${at} -1 after)

# The data element: the page before its text and after it.
set(dataOpen "<script type=\"application/json\" id=\"catalogue-data\">")
string(FIND "${before}" "${dataOpen}" dataAt)
if(dataAt EQUAL -1)
    message(FATAL_ERROR "catalogue.html has no ${dataOpen} before its scripts")
endif()
string(LENGTH "${dataOpen}" openLength)
math(EXPR dataStart "${dataAt} + ${openLength}")
string(SUBSTRING "${before}" 0 ${dataStart} head)
string(SUBSTRING "${before}" ${dataStart} -1 fromData)
string(FIND "${fromData}" "</script>" dataEnd)
string(SUBSTRING "${fromData}" ${dataEnd} -1 tail)
set(tail "${tail}<script>${script}</script>${after}")

if(DEFINED PAGE)
    file(READ "${DATA}" data)
    file(WRITE "${PAGE}" "${head}${data}${tail}")
    return()
endif()

function(byte_array text name out)
    string(HEX "${text}" hex)
    string(LENGTH "${hex}" hexLength)
    math(EXPR size "${hexLength} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
    set(${out} "const unsigned char ${name}[] = {\n    ${bytes}\n};\nconstexpr std::size_t ${name}Size = ${size};\n" PARENT_SCOPE)
endfunction()
byte_array("${head}" kHead headArray)
byte_array("${tail}" kTail tailArray)
file(WRITE "${OUTPUT}.tmp"
"// Generated from res/catalogue by embed_catalogue.cmake; do not edit.
#include \"listing/catalogue_page.h\"

#include <cstddef>

namespace quaverly::listing {
namespace {
${headArray}
${tailArray}
} // namespace

std::string_view CataloguePageHead() { return {reinterpret_cast<const char*>(kHead), kHeadSize}; }
std::string_view CataloguePageTail() { return {reinterpret_cast<const char*>(kTail), kTailSize}; }

} // namespace quaverly::listing
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
