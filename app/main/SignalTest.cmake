# Starts the program on the offscreen platform with fresh machine folders,
# sends it SIGTERM after a few seconds and checks that it closed its window
# and ended normally: a program that the signal killed ends with 143.
#   cmake -DPROGRAM=<vellora> -DWORK=<folder> -P SignalTest.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/PublicDocuments" "${WORK}/ProgramData" "${WORK}/Program")
set(ENV{QT_QPA_PLATFORM} offscreen)
set(ENV{VELLORA_PUBLIC_DOCUMENTS} "${WORK}/PublicDocuments")
set(ENV{VELLORA_PROGRAM_DATA} "${WORK}/ProgramData")
set(ENV{VELLORA_PROGRAM_DIR} "${WORK}/Program")
find_program(TIMEOUT_PROGRAM timeout REQUIRED)
execute_process(COMMAND "${TIMEOUT_PROGRAM}" --preserve-status -s TERM 4 "${PROGRAM}"
                RESULT_VARIABLE result TIMEOUT 50)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "vellora ended with ${result} after SIGTERM")
endif()
