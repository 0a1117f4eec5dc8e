# Stages the program folder. Supplied files are refreshed; files the user makes or edits are never overwritten:
# Quillobrand.cfg, Last Search.html, savedsearch/, savedpages/, smtp/, sent/, seen/, watch/ are left alone, and area
# lists in citydata/ are copied (or made from areas.tsv) only where no file of that name exists (the user may have
# edited the supplied ones).
foreach(folder citydata savedsearch savedpages smtp sent seen watch about Help)
    file(MAKE_DIRECTORY "${STAGE_DIR}/${folder}")
endforeach()

# The marker that keeps the user's files beside the program; without it the program would use the XDG folders as
# an installed one does.
if(NOT EXISTS "${STAGE_DIR}/portable")
    file(WRITE "${STAGE_DIR}/portable"
         "Quillobrand keeps all of its files in this folder while this file is here.\n")
endif()

file(GLOB images "${IMAGE_DIR}/*.bmp")
foreach(image IN LISTS images)
    get_filename_component(name "${image}" NAME)
    file(COPY_FILE "${image}" "${STAGE_DIR}/${name}" ONLY_IF_DIFFERENT)
endforeach()

# The about window's pictures are drawn at build time too.
file(GLOB about_images "${IMAGE_DIR}/about/*.bmp")
foreach(image IN LISTS about_images)
    get_filename_component(name "${image}" NAME)
    file(COPY_FILE "${image}" "${STAGE_DIR}/about/${name}" ONLY_IF_DIFFERENT)
endforeach()

file(GLOB_RECURSE supplied RELATIVE "${SOURCE_DIR}/data" "${SOURCE_DIR}/data/*")
foreach(relative IN LISTS supplied)
    set(target "${STAGE_DIR}/${relative}")
    get_filename_component(folder "${target}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    if(relative MATCHES "^citydata/")
        if(NOT EXISTS "${target}")
            file(COPY_FILE "${SOURCE_DIR}/data/${relative}" "${target}")
        endif()
    elseif(relative MATCHES "^(savedsearch|savedpages|smtp|sent|seen|watch)/" OR relative STREQUAL "Quillobrand.cfg"
           OR relative STREQUAL "Last Search.html" OR relative STREQUAL "portable")
        # never supplied; skipped so a stray file in data/ cannot replace the user's own
    else()
        file(COPY_FILE "${SOURCE_DIR}/data/${relative}" "${target}" ONLY_IF_DIFFERENT)
    endif()
endforeach()

# The area lists by state, province, country and region, made from the site's list of areas.
include("${CMAKE_CURRENT_LIST_DIR}/AreaLists.cmake")

# file(COPY_FILE) does not carry the execute bit; the help program needs it.
if(EXISTS "${STAGE_DIR}/Help/Help")
    file(CHMOD "${STAGE_DIR}/Help/Help" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
