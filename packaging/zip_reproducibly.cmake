# Run by cpack's External generator on the staged files: zips them so that
# every build of one version gives the same bytes, whoever builds it and
# wherever: every entry dated by SOURCE_DATE_EPOCH when it is set, else by
# the last commit, else by the version's release date; folders and the exe
# rwxr-xr-x and other files rw-r--r--, whatever the umask; in sorted order;
# without owner, access or change times, which cpack's own zip writer would
# store. Writes <zip>.sha256 beside the zip, in the form that
# `sha256sum -c` checks, so that the zips of several builds can lie side
# by side.
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

set(time "${CPACK_BRISVEL_FILE_TIME}")
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(time "$ENV{SOURCE_DATE_EPOCH}")
endif()
foreach(entry IN LISTS entries)
  if(IS_DIRECTORY "${staged}/${entry}" OR entry MATCHES "\\.exe$")
    set(mode 0755)
  else()
    set(mode 0644)
  endif()
  execute_process(COMMAND chmod ${mode} "${entry}" WORKING_DIRECTORY "${staged}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
execute_process(COMMAND touch -h -d "@${time}" ${entries}
                WORKING_DIRECTORY "${staged}" COMMAND_ERROR_IS_FATAL ANY)

set(zip "${CPACK_PACKAGE_DIRECTORY}/${top}.zip")
file(REMOVE "${zip}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X -9 "${zip}" ${entries}
                WORKING_DIRECTORY "${staged}" COMMAND_ERROR_IS_FATAL ANY)
file(SHA256 "${zip}" hash)
file(WRITE "${zip}.sha256" "${hash}  ${top}.zip\n")
# Named to cpack, which then reports them last, after its own .json file.
set(CPACK_EXTERNAL_BUILT_PACKAGES "${zip}" "${zip}.sha256")
