# Run by cpack's External generator on the staged files: zips them so that
# two builds of one commit give the same bytes (every entry dated by the
# commit, in sorted order, without owner, access or change times, which
# cpack's own zip writer would store), and writes SHA256SUMS beside the zip
# in the form that `sha256sum -c SHA256SUMS` checks.
set(top "${CPACK_PACKAGE_FILE_NAME}")
set(staged "${CPACK_TEMPORARY_DIRECTORY}")
if(NOT EXISTS "${staged}/${top}")
  file(MAKE_DIRECTORY "${staged}.top")
  file(RENAME "${staged}" "${staged}.top/${top}")
  file(RENAME "${staged}.top" "${staged}")
endif()
file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${staged}" "${staged}/${top}/*")
list(APPEND entries "${top}")
list(SORT entries)
execute_process(COMMAND touch -h -d "@${CPACK_BRISVEL_FILE_TIME}" ${entries}
                WORKING_DIRECTORY "${staged}" COMMAND_ERROR_IS_FATAL ANY)
set(zip "${CPACK_PACKAGE_DIRECTORY}/${top}.zip")
file(REMOVE "${zip}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X -9 "${zip}" ${entries}
                WORKING_DIRECTORY "${staged}" COMMAND_ERROR_IS_FATAL ANY)
file(SHA256 "${zip}" hash)
file(WRITE "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS" "${hash}  ${top}.zip\n")
