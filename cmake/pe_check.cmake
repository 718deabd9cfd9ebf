# tp_pe_check(test-name file checks...): a CTest test that asserts facts about
# a built Windows binary (see tests/build/check_pe.sh for the checks).
find_program(TP_OBJDUMP NAMES ${CMAKE_OBJDUMP} objdump REQUIRED)
set(TP_PE_CHECK ${CMAKE_SOURCE_DIR}/tests/build/check_pe.sh)

function(tp_pe_check name file)
  add_test(NAME ${name} COMMAND bash ${TP_PE_CHECK} ${TP_OBJDUMP} ${file} ${ARGN})
endfunction()
