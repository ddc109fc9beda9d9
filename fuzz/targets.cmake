# The fuzz targets and what each links; shared by the libFuzzer build (fuzz/) and the replay
# tests (tests/fuzz/).
set(QUAVERLY_FUZZ_TARGETS analyzer xdg_text page_writer tag_size stream_facts id3_tags)

function(quaverly_fuzz_target_setup executable target)
    set(libraries_analyzer quaverly_listing)
    set(libraries_xdg_text quaverly_launcher)
    set(libraries_page_writer quaverly_listing)
    set(libraries_tag_size quaverly_mpeg)
    set(libraries_id3_tags quaverly_mpeg)
    set(libraries_stream_facts quaverly_listing)
    target_include_directories(${executable} PRIVATE
        ${PROJECT_SOURCE_DIR}/fuzz ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${executable} PRIVATE ${libraries_${target}} quaverly_warnings)
endfunction()
