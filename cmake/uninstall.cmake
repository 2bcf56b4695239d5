# Removes what `cmake --install` put in place, as its manifest lists it, under the DESTDIR that
# the install used, then the folders that the install made (install-folders.cmake noted them
# and that DESTDIR) and that are left empty, the innermost first. A folder that holds anything
# else stays, and so does one that was there before.
#   cmake -DMANIFEST=BUILD_DIR/install_manifest.txt -DNOTES=BUILD_DIR/install_folders.txt -P uninstall.cmake
if(NOT EXISTS "${MANIFEST}")
    message(FATAL_ERROR "Nothing to uninstall: ${MANIFEST} is missing (cmake --install writes it)")
endif()
# The manifest names the files without the DESTDIR they were installed under.
set(folders "destdir:")
if(EXISTS "${NOTES}")
    file(STRINGS "${NOTES}" folders)
endif()
list(POP_FRONT folders destdir)
string(REGEX REPLACE "^destdir:" "" destdir "${destdir}")
file(STRINGS "${MANIFEST}" files)
foreach(file IN LISTS files)
    set(file "${destdir}${file}")
    if(EXISTS "${file}" OR IS_SYMLINK "${file}")
        file(REMOVE "${file}")
        message(STATUS "Removed ${file}")
    endif()
endforeach()
# A folder sorts after every folder inside it, so in descending order they come first.
list(SORT folders ORDER DESCENDING)
set(kept)
foreach(folder IN LISTS folders)
    if(IS_DIRECTORY "${folder}" AND NOT IS_SYMLINK "${folder}")
        file(GLOB left "${folder}/*")
        if(left)
            list(APPEND kept "${folder}")
        else()
            file(REMOVE_RECURSE "${folder}")
            message(STATUS "Removed ${folder}")
        endif()
    endif()
endforeach()
list(JOIN kept "\n" text)
file(WRITE "${NOTES}" "destdir:${destdir}\n${text}")
