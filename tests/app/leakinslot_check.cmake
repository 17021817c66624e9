# Runs the program that leaks on purpose in a timer's slot (PROGRAM) and passes when
# LeakSanitizer reports that block, from the slot, and no other: it must end with an
# error, and the summary must count exactly the one block it lost.
execute_process(COMMAND ${PROGRAM} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(status EQUAL 0)
  message(FATAL_ERROR "the program ended without an error: its leak was not reported")
endif()
if(NOT out MATCHES "ERROR: LeakSanitizer: detected memory leaks")
  message(FATAL_ERROR "no LeakSanitizer report (exit status ${status})")
endif()
if(NOT out MATCHES "Direct leak of 4242 byte\\(s\\) in 1 object\\(s\\) allocated from:\n( +#[^\n]*\n)* +#[^\n]*onTimeout[^\n]*leakinslot.cpp")
  message(FATAL_ERROR "the block lost in the slot is not among the reported leaks")
endif()
if(NOT out MATCHES "SUMMARY: AddressSanitizer: 4242 byte\\(s\\) leaked in 1 allocation\\(s\\)")
  message(FATAL_ERROR "leaks other than the slot's block were reported")
endif()
