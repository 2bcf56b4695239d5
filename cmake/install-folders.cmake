# Run by `cmake --install` before it puts anything in place: notes the DESTDIR it installs
# under, then the folders under the prefix that it is about to make, so that uninstall.cmake
# removes them once they are empty, and never a folder that was there before the install, nor
# the prefix itself. Notes of an earlier install into the same prefix are kept while their
# folders are there: a second install finds the folders made already.
#   KELPORT_INSTALL_FOLDERS  the install's destinations, relative to the prefix
#   KELPORT_FOLDER_NOTES     the notes' file, in the build folder
function(kelport_note_install_folders)
    # Where the files go. Relative paths are taken from the working folder, as the install takes
    # them; the install's manifest lists its files without DESTDIR, so uninstall needs it too.
    set(destdir "$ENV{DESTDIR}")
    if(destdir)
        get_filename_component(destdir "${destdir}" ABSOLUTE)
    endif()
    get_filename_component(prefix "${destdir}${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
    set(made)
    if(EXISTS "${KELPORT_FOLDER_NOTES}")
        file(STRINGS "${KELPORT_FOLDER_NOTES}" noted)
        list(POP_FRONT noted)
        foreach(folder IN LISTS noted)
            string(FIND "${folder}" "${prefix}/" at)
            if(at EQUAL 0 AND IS_DIRECTORY "${folder}")
                list(APPEND made "${folder}")
            endif()
        endforeach()
    endif()
    foreach(destination IN LISTS KELPORT_INSTALL_FOLDERS)
        set(folder "${prefix}/${destination}")
        while(NOT EXISTS "${folder}" AND NOT folder STREQUAL prefix)
            list(APPEND made "${folder}")
            get_filename_component(parent "${folder}" DIRECTORY)
            if(parent STREQUAL folder OR parent STREQUAL "")
                break()
            endif()
            set(folder "${parent}")
        endwhile()
    endforeach()
    list(REMOVE_DUPLICATES made)
    list(JOIN made "\n" text)
    file(WRITE "${KELPORT_FOLDER_NOTES}" "destdir:${destdir}\n${text}")
endfunction()
kelport_note_install_folders()
