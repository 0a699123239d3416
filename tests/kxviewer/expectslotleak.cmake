# Runs PROGRAM, which leaks one QObject in a slot, and passes when
# LeakSanitizer reports that object and its private part, and nothing else:
# the suppressions hide Qt's leaks, never ours.
execute_process(COMMAND ${PROGRAM} OUTPUT_QUIET ERROR_VARIABLE report)
if(NOT report MATCHES "leak of [^\n]*\n[^\n]*\n[^\n]* in LeakInASlot" OR NOT report MATCHES "leaked in 2 allocation\\(s\\)")
  message(FATAL_ERROR "LeakSanitizer should report the object leaked in the slot, and nothing else:\n${report}")
endif()
