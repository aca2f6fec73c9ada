# Writes the manual pages of `korvi` (korvi.1) and of each subcommand that its
# --help lists (korvi-<subcommand>.1) from their --help texts with help2man,
# so the pages always say what --help says.
#   cmake -DHELP2MAN=help2man -DKORVI=path/to/korvi [-DEMULATOR="qemu-i386 ..."]
#         -DVERSION=0.1.0 -DOUTPUT_DIR=dir -P man_pages.cmake
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
set(KORVI ${emulator} ${KORVI})
function(run_help out)
  execute_process(COMMAND ${KORVI} ${ARGN} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "korvi ${ARGN} --help failed")
  endif()
  set(${out} "${help}" PARENT_SCOPE)
endfunction()

# page(title description see_also [subcommand])
function(page title description see_also)
  set(output ${OUTPUT_DIR}/${title}.1)
  set(references)
  foreach(name ${see_also})
    list(APPEND references ".BR ${name} (1)")
  endforeach()
  list(JOIN references ",\n" references)
  file(WRITE ${output}.include "[SEE ALSO]\n${references}\n")
  list(JOIN KORVI " " program)
  execute_process(
    COMMAND ${HELP2MAN} --no-info --section=1 --version-string=${VERSION}
            --name=${description} --include=${output}.include --output=${output}.tmp
            "${program} ${ARGN}"
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "help2man failed on korvi ${ARGN}")
  endif()
  # help2man titles every page after the program file; a subcommand's page is its own.
  file(READ ${output}.tmp text)
  string(TOUPPER "${title}" upper)
  string(REGEX REPLACE "\n\\.TH [^ ]+ " "\n.TH ${upper} " text "${text}")
  file(WRITE ${output} "${text}")
  file(REMOVE ${output}.tmp ${output}.include)
endfunction()

file(MAKE_DIRECTORY ${OUTPUT_DIR})
file(GLOB old ${OUTPUT_DIR}/*.1)
if(old)
  file(REMOVE ${old})
endif()
# The subcommands: the indented first words under "Subcommands:".
run_help(main)
string(REGEX MATCH "\nSubcommands:\n(( +[a-z][^\n]*\n)+)" block "${main}")
string(REGEX MATCHALL "\n +[a-z][a-z0-9-]*" subcommands "\n${CMAKE_MATCH_1}")
list(TRANSFORM subcommands STRIP)
if(NOT subcommands)
  message(FATAL_ERROR "no subcommands in korvi --help")
endif()
set(pages)
foreach(sub ${subcommands})
  run_help(help ${sub})
  string(REGEX MATCH "^[^\n]*" description "${help}")  # its first line
  page(korvi-${sub} "${description}" korvi ${sub})
  list(APPEND pages korvi-${sub})
endforeach()
page(korvi "salted fingerprints of personal identifiers" "${pages}")
