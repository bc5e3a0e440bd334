# Copies the example inputs to a fresh scratch folder, runs brisvel there
# with the example's arguments and prints its console output and work file.
set(arguments 100 200 45 1)

file(REMOVE_RECURSE "${SCRATCH}")
file(COPY "${EXAMPLES}/" DESTINATION "${SCRATCH}")

message("$ cd ${SCRATCH}")
list(JOIN arguments " " shown)
message("$ brisvel ${shown}")
execute_process(COMMAND "${BRISVEL}" ${arguments}
                WORKING_DIRECTORY "${SCRATCH}"
                RESULT_VARIABLE status)
message("(exit status ${status})")

message("$ cat worktodo.ini")
file(READ "${SCRATCH}/worktodo.ini" work)
message("${work}")

message("$ cat brisvel.log")
file(READ "${SCRATCH}/brisvel.log" log)
message("${log}")
