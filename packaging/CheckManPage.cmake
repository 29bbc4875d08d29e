# Fails when a program's --help and its man page disagree on the long options,
# so an option added or dropped in the code cannot go undocumented.
#   cmake -DPROGRAM=<executable> -DMANPAGE=<page.1> -P CheckManPage.cmake

execute_process(COMMAND "${PROGRAM}" --help
  OUTPUT_VARIABLE help RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${status}): ${errors}")
endif()

file(READ "${MANPAGE}" page)
# roff writes a hyphen as \- ; compare plain text.
string(REPLACE "\\-" "-" page "${page}")

function(long_options text out)
  string(REGEX MATCHALL "--[a-z][a-z0-9-]*" found "${text}")
  list(REMOVE_DUPLICATES found)
  list(SORT found)
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

long_options("${help}" in_help)
# Only the headings of the OPTIONS section count: examples and prose mention
# options too, and would hide one whose entry is missing.
string(FIND "${page}" "\n.SH OPTIONS\n" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${MANPAGE} has no OPTIONS section")
endif()
string(SUBSTRING "${page}" ${start} -1 options)
string(SUBSTRING "${options}" 1 -1 rest)
string(FIND "${rest}" "\n.SH " end)
if(NOT end EQUAL -1)
  math(EXPR end "${end} + 1")
  string(SUBSTRING "${options}" 0 ${end} options)
endif()
string(REGEX MATCHALL "\n\\.TP\n[^\n]*" headings "${options}")
long_options("${headings}" in_page)

if(NOT in_help)
  message(FATAL_ERROR "${PROGRAM} --help lists no long options")
endif()
set(missing ${in_help})
list(REMOVE_ITEM missing ${in_page})
set(stale ${in_page})
list(REMOVE_ITEM stale ${in_help})
if(missing OR stale)
  message(FATAL_ERROR "${MANPAGE} is out of date.\n"
    "  options of --help missing from the page: ${missing}\n"
    "  options on the page that --help does not list: ${stale}")
endif()
