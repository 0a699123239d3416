# Runs PROGRAM, which leaks one QObject in a slot and one in a paint event,
# and passes when LeakSanitizer reports both objects and their private parts,
# and nothing else: the suppressions hide Qt's leaks, never ours.
execute_process(COMMAND ${PROGRAM} OUTPUT_QUIET ERROR_VARIABLE report)
if(NOT report MATCHES "leak of [^\n]*\n[^\n]*\n[^\n]* in LeakInSlot" OR
   NOT report MATCHES "leak of [^\n]*\n[^\n]*\n[^\n]* in LeakInPaint" OR
   NOT report MATCHES "leaked in 4 allocation\\(s\\)")
  message(FATAL_ERROR "LeakSanitizer should report the objects leaked in the slot and in the paint event, and nothing else:\n${report}")
endif()
