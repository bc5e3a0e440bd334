# Run by the target zip on the staged files (cmake -DSTAGED=<folder>
# -DTOP=<name> -DOUT=<folder> -DFILE_TIME=<seconds> -P ...): zips
# STAGED/TOP into OUT/TOP.zip so that every build of one version gives the
# same bytes, whoever builds it and wherever: every entry dated by
# SOURCE_DATE_EPOCH when it is set, else by FILE_TIME (the last commit, or
# the version's release date); folders and the exe rwxr-xr-x and other
# files rw-r--r--, whatever the umask; in sorted order; without owner,
# access or change times. Writes <zip>.sha256 beside the zip, in the form
# that `sha256sum -c` checks, so that the zips of several builds can lie
# side by side, and nothing else: those two are the release's files.
file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${STAGED}" "${STAGED}/${TOP}/*")
list(APPEND entries "${TOP}")
list(SORT entries)

set(time "${FILE_TIME}")
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(time "$ENV{SOURCE_DATE_EPOCH}")
endif()
foreach(entry IN LISTS entries)
  if(IS_DIRECTORY "${STAGED}/${entry}" OR entry MATCHES "\\.exe$")
    set(mode 0755)
  else()
    set(mode 0644)
  endif()
  execute_process(COMMAND chmod ${mode} "${entry}" WORKING_DIRECTORY "${STAGED}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
execute_process(COMMAND touch -h -d "@${time}" ${entries}
                WORKING_DIRECTORY "${STAGED}" COMMAND_ERROR_IS_FATAL ANY)

set(zip "${OUT}/${TOP}.zip")
file(REMOVE "${zip}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X -9 "${zip}" ${entries}
                WORKING_DIRECTORY "${STAGED}" COMMAND_ERROR_IS_FATAL ANY)
file(SHA256 "${zip}" hash)
file(WRITE "${zip}.sha256" "${hash}  ${TOP}.zip\n")
message(STATUS "zip: ${zip}")
message(STATUS "checksum: ${zip}.sha256")
