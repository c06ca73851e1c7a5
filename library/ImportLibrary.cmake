# The 32-bit import library of KelHID.dll. Callers compiled with KelHID.h refer to the stdcall
# entries by their decorated names (_KelHID_Create@4); the library exports them undecorated
# (KelHID_Create), as KelHID.def lists them. dlltool maps one to the other, given the decorated
# names, which are read off the library's object here.
#
# cmake -D NM=... -D DLLTOOL=... -D OBJECT=<KelHID.cpp.obj> -D DEF=<KelHID.def>
#       -D OUTPUT=<import library> -D WORK=<directory> -P ImportLibrary.cmake
execute_process(COMMAND ${NM} ${OBJECT} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "T _KelHID_[A-Za-z]+@[0-9]+" defined "${symbols}")
file(STRINGS ${DEF} listed REGEX "^ *KelHID_")

set(entries "")
foreach(name IN LISTS listed)
  string(STRIP "${name}" name)
  set(found "")
  foreach(symbol IN LISTS defined)
    if(symbol MATCHES "^T _(${name}@[0-9]+)$")
      set(found ${CMAKE_MATCH_1})
    endif()
  endforeach()
  if(NOT found)
    message(FATAL_ERROR "${name} of ${DEF} is no stdcall entry of ${OBJECT}")
  endif()
  string(APPEND entries "  ${found}\n")
endforeach()

file(WRITE ${WORK}/KelHID-stdcall.def "LIBRARY KelHID.dll\nEXPORTS\n${entries}")
execute_process(
  COMMAND ${DLLTOOL} --kill-at --def ${WORK}/KelHID-stdcall.def --dllname KelHID.dll
          --output-lib ${OUTPUT}
  COMMAND_ERROR_IS_FATAL ANY)
