# Writes the manual page kestrel.1 from the program's own help texts, so the two never
# disagree. cmake -DKESTREL=path/to/kestrel -DVERSION=x.y -DOUT=kestrel.1 -P ManPage.cmake
foreach(var KESTREL VERSION OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManPage.cmake needs -D${var}=...")
  endif()
endforeach()

function(help_of out)
  execute_process(COMMAND ${KESTREL} ${ARGN} --help
    OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "kestrel ${ARGN} --help failed (${rc}): ${err}")
  endif()
  # The usage line names the program as it was called here.
  string(REGEX REPLACE "Usage: [^ \n]*kestrel" "Usage: kestrel" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The names listed under "Subcommands:" in a help text.
function(subcommands_of out text)
  set(names)
  if(text MATCHES "[Ss][Uu][Bb][Cc][Oo][Mm][Mm][Aa][Nn][Dd][Ss]:\n(.*)")
    string(REPLACE "\n" ";" lines "${CMAKE_MATCH_1}")
    foreach(line IN LISTS lines)
      if(line MATCHES "^  ([a-z][a-z0-9-]*)( |$)")
        list(APPEND names ${CMAKE_MATCH_1})
      elseif(NOT line MATCHES "^ ")
        break()
      endif()
    endforeach()
  endif()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# A help text as a no-fill block: backslashes escaped, no line read as a request.
function(roff_block out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(STRIP "${text}" text)
  set(${out} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

help_of(top)
string(REGEX MATCH "^[^\n]*" title "${top}")
string(REPLACE " - " " \\- " title "${title}")
roff_block(top_block "${top}")

set(page ".TH KESTREL 1 \"\" \"kestrel ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\n${title}\n")
string(APPEND page ".SH SYNOPSIS\n.B kestrel\n[\\fB\\-\\-module\\fR \\fIPATH\\fR] \\fICOMMAND\\fR [\\fIOPTIONS\\fR] [\\fIARGUMENTS\\fR]\n")
string(APPEND page ".SH DESCRIPTION\n${top_block}")
string(APPEND page ".SH COMMANDS\n")
subcommands_of(commands "${top}")
if(NOT commands)
  message(FATAL_ERROR "no subcommands found in the help of ${KESTREL}")
endif()
foreach(command IN LISTS commands)
  help_of(text ${command})
  roff_block(block "${text}")
  string(APPEND page ".SS kestrel ${command}\n${block}")
  subcommands_of(nested "${text}")
  foreach(sub IN LISTS nested)
    help_of(text ${command} ${sub})
    roff_block(block "${text}")
    string(APPEND page ".SS kestrel ${command} ${sub}\n${block}")
  endforeach()
endforeach()
string(APPEND page [=[
.SH ENVIRONMENT
.TP
.B KESTREL_HOME
Directory of the settings store (the \fI.reg\fR files); by default
\fI$XDG_CONFIG_HOME/kestrel\fR, else \fI~/.config/kestrel\fR.
.TP
.BR DISPLAY ", " WAYLAND_DISPLAY
The display \fBconfigure\fR and \fBproperties\fR open their windows on; without
either they say so and end with status 1. No other command needs a display.
.TP
.B LD_LIBRARY_PATH
Also searched for the feed plug-in library \fIPlinth5.dll\fR, besides the
library directory of the installation.
.SH FILES
.TP
.I Kestrel.ax
The filter module, beside the program or in the installation's library directory.
.TP
.I filter-state.bin
In the settings directory: the filter's mode and source as \fBproperties\fR stores
them and \fBrun\fR reads them, unless \fB\-\-state\fR names another file.
.TP
.I services
In the settings directory: system services the SAT>IP feed is to see, one per line,
\fINAME\fR \fBrunning\fR|\fBstopped\fR|\fBstop-pending\fR [\fBstop-ms\fR \fIN\fR]
[\fBwait-hint-ms\fR \fIN\fR] [\fBrefuse-stop\fR]. None by default.
.SH SEE ALSO
The plug-in guide \fIplugins.md\fR and \fBpkg-config\fR(1) \fIkestrel-plugin\fR.
]=])
file(WRITE ${OUT} "${page}")
