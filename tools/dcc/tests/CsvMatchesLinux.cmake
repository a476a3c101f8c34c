# The cross-built telmira-dcc's csv against the Linux build's, byte for byte, on recordings
# the Linux build's simulator writes: a clean run, a noisy one (garbage between frames, a
# frame cut short at the end) and an empty file. Both runs hold 0x1A bytes and the noisy one
# 0xFF payload bytes, which a reading in text mode would take for the end of the file. The
# clean run is read again under names that a Western code page cannot spell (scripts/wine-tests.sh
# runs Wine with one), Cyrillic and Greek with Japanese.
# Run by ctest with -DLINUX_BIN=<the Linux build's bin> -DEMULATOR=<wine64>
# -DTOOL=<telmira-dcc.exe> -DWORK=<a folder of its own>.
foreach(program telmira-sim telmira-dcc)
  if(NOT EXISTS "${LINUX_BIN}/${program}")
    message(FATAL_ERROR "No ${LINUX_BIN}/${program}: build the Linux build first (scripts/setup.sh)")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}: ${status}")
  endif()
endfunction()

run("${LINUX_BIN}/telmira-sim" --out "${WORK}/clean.dcc" --frames 20000 --seed 3)
run("${LINUX_BIN}/telmira-sim" --out "${WORK}/noisy.dcc" --frames 20000 --seed 5 --noise)
file(WRITE "${WORK}/empty.dcc" "")

foreach(name "Иван/заезд" "Ελένη/δοκιμή 試験")
  get_filename_component(folder "${WORK}/${name}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  file(COPY_FILE "${WORK}/clean.dcc" "${WORK}/${name}.dcc")
endforeach()

foreach(recording clean noisy empty "Иван/заезд" "Ελένη/δοκιμή 試験")
  set(linux "${WORK}/${recording}.linux.csv")
  set(windows "${WORK}/${recording}.windows.csv")
  execute_process(COMMAND "${LINUX_BIN}/telmira-dcc" csv "${WORK}/${recording}.dcc"
                  OUTPUT_FILE "${linux}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Linux telmira-dcc csv ${recording}.dcc: ${status}")
  endif()
  execute_process(COMMAND ${EMULATOR} "${TOOL}" csv "${WORK}/${recording}.dcc"
                  OUTPUT_FILE "${windows}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Windows telmira-dcc csv ${recording}.dcc: ${status}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${linux}" "${windows}"
                  RESULT_VARIABLE differ)
  file(SIZE "${linux}" size)
  if(differ)
    message(FATAL_ERROR "${recording}.dcc: the Windows csv differs from the Linux one (${size} bytes)")
  endif()
  message(STATUS "${recording}.dcc: the same ${size} bytes of csv")
endforeach()
