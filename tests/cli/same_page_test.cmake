# Lists tests/data with quaverly-list and compares the page, byte for byte, with the one kept in
# tests_data_listing.html, where @FOLDER@ stands for the folder as the platform names it. Both
# platforms' builds must give it.
#
# OUTPUT is the page's path as the program names it, OUTPUT_FILE the same file as cmake does.
#
#   cmake -DPROGRAM=... [-DEMULATOR=...] -DFOLDER=... -DEXPECTED=... -DOUTPUT=... \
#         -DOUTPUT_FILE=... -P same_page_test.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${EMULATOR} ${PROGRAM} -o ${OUTPUT} ${FOLDER}
    RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "quaverly-list exited with ${status}: ${errors}")
endif()
file(READ ${EXPECTED} expected HEX)
file(READ ${OUTPUT_FILE} actual HEX)
string(HEX "${FOLDER}" folderHex)
# @FOLDER@ in hex, replaced by the folder's bytes.
string(HEX "@FOLDER@" placeholder)
string(REPLACE "${placeholder}" "${folderHex}" expected "${expected}")
if(NOT expected STREQUAL actual)
    message(FATAL_ERROR "the page in ${OUTPUT_FILE} differs from ${EXPECTED}")
endif()
