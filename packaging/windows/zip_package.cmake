# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Run by CPack: makes the ZIP from the folder that CPack installed the
# program into, its files in name order and, where SOURCE_DATE_EPOCH is set,
# dated then. CPack's own ZIP takes the order a file system happens to list
# them in, which differs from one file system to the next. A ZIP entry's
# date is local time, so it is written in UTC, whatever the time zone.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${CPACK_TOPLEVEL_DIRECTORY}"
     "${CPACK_TEMPORARY_DIRECTORY}/*")
list(SORT files)
list(JOIN files "\n" file_list)
file(WRITE "${CPACK_TOPLEVEL_DIRECTORY}/zip-files.txt" "${file_list}\n")
set(zip "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip")
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC "${CMAKE_COMMAND}" -E tar cf "${zip}" --format=zip
        --files-from=zip-files.txt
    WORKING_DIRECTORY "${CPACK_TOPLEVEL_DIRECTORY}"
    COMMAND_ERROR_IS_FATAL ANY)
set(CPACK_EXTERNAL_BUILT_PACKAGES "${zip}")
