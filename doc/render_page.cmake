cmake_minimum_required(VERSION 3.25)
# Renders one manual page: the scdoc source with the version and the result-code table
# put in, then scdoc, then gzip. Run as
#   cmake -DSOURCE=page.scd -DCODES=result_codes.def -DVERSION=x.y.z -DSCDOC=scdoc
#         -DOUTPUT=page -P render_page.cmake
# The table's lines are "PW_RESULT_RANGE("title")" and
# "PW_RESULT_CODE(constant, value, "meaning")"; a meaning may hold ';', which CMake
# would take for a list separator, so it travels as a placeholder until the end.
file(READ ${SOURCE} page)
file(READ ${CODES} table)
string(REPLACE ";" "@SEMICOLON@" table "${table}")
string(REGEX MATCHALL "\nPW_RESULT_[A-Z]+\\([^\n]*\\)" entries "${table}")
set(codes "")
foreach(entry IN LISTS entries)
  if(entry MATCHES "PW_RESULT_RANGE\\(\"([^\"]*)\"\\)")
    string(APPEND codes "## ${CMAKE_MATCH_1}\n\n")
  elseif(entry MATCHES "PW_RESULT_CODE\\([A-Za-z0-9]+, ([0-9]+), \"([^\"]*)\"\\)")
    set(value "${CMAKE_MATCH_1}")
    set(meaning "${CMAKE_MATCH_2}")
    if(meaning MATCHES "[*_\\\\]")
      message(FATAL_ERROR "${CODES}: the meaning of ${value} holds '*', '_' or '\\'")
    endif()
    string(APPEND codes "*${value}*\n\t${meaning}\n\n")
  else()
    message(FATAL_ERROR "${CODES}: cannot read ${entry}")
  endif()
endforeach()
string(REPLACE "@RESULT_CODES@" "${codes}" page "${page}")
string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
string(REPLACE "@SEMICOLON@" ";" page "${page}")
file(WRITE ${OUTPUT}.scd "${page}")
execute_process(COMMAND ${SCDOC} INPUT_FILE ${OUTPUT}.scd OUTPUT_FILE ${OUTPUT}
                ERROR_VARIABLE problems RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR problems)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "scdoc ${SOURCE}: ${problems}")
endif()
# Debian keeps manual pages compressed; -n leaves out the time, so that builds agree.
execute_process(COMMAND gzip -9 -n -c ${OUTPUT} OUTPUT_FILE ${OUTPUT}.gz RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip ${OUTPUT} failed")
endif()
