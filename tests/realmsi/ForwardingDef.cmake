# Writes the .def of the forwarding msi.dll: every named export of Wine's msi.dll forwards to
# msi_real (a renamed copy of it), except MsiExtractPatchXMLDataW, which the library implements
# (IMPLEMENTED: its .def line, which names the i686 definition with its stdcall decoration).
# cmake -DOBJDUMP=<objdump> -DBUILTIN=<Wine's msi.dll> -DIMPLEMENTED=<line> -DOUTPUT=<.def>
#       -P ForwardingDef.cmake
# (Lines are rewritten as whole text: CMake lists cannot hold the table's square brackets.)
execute_process(COMMAND ${OBJDUMP} -p ${BUILTIN} OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)+" table "${dump}")
string(REPLACE "[Ordinal/Name Pointer] Table\n" "" table "${table}")
string(REGEX REPLACE "[ \t]*\\[ *[0-9]+\\] ([A-Za-z_][A-Za-z0-9_]*)\n" "    \\1 = msi_real.\\1\n"
                     forwards "${table}")
string(REPLACE "    MsiExtractPatchXMLDataW = msi_real.MsiExtractPatchXMLDataW\n" ""
               forwards "${forwards}")
if(NOT forwards MATCHES "MsiEnumPatchesW = msi_real.MsiEnumPatchesW")
    message(FATAL_ERROR "No export list found in ${BUILTIN}")
endif()
file(WRITE ${OUTPUT} "LIBRARY msi.dll\nEXPORTS\n    ${IMPLEMENTED}\n${forwards}")
