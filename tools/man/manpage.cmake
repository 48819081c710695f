# Writes the manual page of the mvbasics tool from its own help screens: help2man makes
# the page from `mvbasics --help` and `--version`; the help of every command and
# sub-command becomes its COMMANDS section; mvbasics.h2m adds what no help screen says.
# Usage: cmake -DTOOL=<mvbasics> -DHELP2MAN=<help2man> -DINCLUDE=<mvbasics.h2m>
#              -DVERSION=<version> -DOUTPUT=<mvbasics.1.gz> -P manpage.cmake
# (The version is given rather than read from --version, whose output names the build's
# source revision, which a manual page should not carry.)

# The help screen of a command path, without the exit-status lines every screen ends with.
function(help_of out)
  execute_process(COMMAND ${TOOL} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "mvbasics ${ARGN} --help failed (${rc})")
  endif()
  string(REGEX REPLACE "\nExit status:[^\n]*\nErrors go to[^\n]*\n*$" "\n" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The names listed under "Subcommands:" of a help screen.
function(commands_of out text)
  set(names)
  string(REGEX MATCH "\nSubcommands:\n(  [^\n]*\n)*" block "${text}")
  string(REGEX MATCHALL "\n  [a-z][-a-z0-9]*" lines "${block}")
  foreach(line ${lines})
    string(STRIP "${line}" name)
    if(NOT name STREQUAL "help")
      list(APPEND names ${name})
    endif()
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# One .SS block: the command path as its title, its help as preformatted text (roff's
# escape character and lines that start with a control character made literal).
function(append_section var title text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" text "\n${text}")
  set(${var} "${${var}}.SS ${title}\n.nf${text}.fi\n" PARENT_SCOPE)
endfunction()

help_of(top)
commands_of(commands "${top}")
set(sections "[COMMANDS]\nEvery command has its own help: \\fBmvbasics\\fR \\fIcommand\\fR \\fB\\-\\-help\\fR.\n")
foreach(command ${commands})
  help_of(text ${command})
  append_section(sections "mvbasics ${command}" "${text}")
  commands_of(subs "${text}")
  foreach(sub ${subs})
    help_of(subtext ${command} ${sub})
    append_section(sections "mvbasics ${command} ${sub}" "${subtext}")
  endforeach()
endforeach()

get_filename_component(dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})
string(REGEX REPLACE "\\.gz$" "" page ${OUTPUT})
file(WRITE ${page}.commands.h2m "${sections}")
execute_process(
  COMMAND ${HELP2MAN} --no-info --section=1 --version-string=${VERSION}
          "--name=the settings, events, modules, stored data and counters of the Merivane runtime"
          --include=${page}.commands.h2m --include=${INCLUDE} --output=${page} ${TOOL}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed (${rc})")
endif()
execute_process(COMMAND gzip -9nf ${page} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip of ${page} failed (${rc})")
endif()
