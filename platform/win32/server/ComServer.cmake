# Makes a service object module an in-process COM server on Windows:
#   cvplatform_com_server(TARGET receiptso IDL com/posprinter.idl INTERFACE Iposprinter)
# The IDL is the one source: widl makes the header and the type library
# (embedded as TYPELIB resource 1), and the dual interface's forwarding to
# the module's platform object is generated from its method lines
#   [id(N)] HRESULT Name([in] long A, [out, retval] long* pRC);
# The module defines platform::inprocServerClass() and
# platform::createInprocServerObject() (platform/comsystem.h).
set(CVPLATFORM_SERVER_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "Where the in-process server sources are")

# The standard IDL files come with Wine's headers (libwine-dev), and the
# OLE Automation library the type libraries import with Wine's runtime.
find_path(CVPLATFORM_WINE_IDL_DIR oaidl.idl PATHS /usr/include/wine/wine/windows NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(CVPLATFORM_STDOLE_DIR stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_program(CVPLATFORM_WIDL NAMES ${CVOPOS_MINGW_TRIPLE}-widl widl REQUIRED)

# The C++ methods of the interface, one line per method, forwarding by DISPID.
function(cvplatform_generate_forwarding idl out_methods)
  file(READ ${idl} text)
  string(REGEX MATCHALL "\\[id\\(([0-9]+)\\)\\][ \t]+HRESULT[ \t]+([A-Za-z_0-9]+)\\(([^)]*)\\)" lines "${text}")
  set(methods "")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "\\[id\\(([0-9]+)\\)\\][ \t]+HRESULT[ \t]+([A-Za-z_0-9]+)\\(([^)]*)\\)" _ "${line}")
    set(id ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    set(parameters "${CMAKE_MATCH_3}")
    string(REPLACE "[out, retval]" "RETVAL" parameters "${parameters}")
    string(REGEX REPLACE "\\[[^]]*\\]" "" parameters "${parameters}")
    string(REPLACE "," ";" parameters "${parameters}")
    set(declared "")
    set(passed "")
    foreach(parameter IN LISTS parameters)
      string(STRIP "${parameter}" parameter)
      string(REGEX MATCH "([A-Za-z_0-9]+)$" parameterName "${parameter}")
      set(argument ${parameterName})
      if(parameter MATCHES "^RETVAL ")
        string(REGEX REPLACE "^RETVAL " "" parameter "${parameter}")
        set(argument "platform::server::retval(${parameterName})")
      endif()
      string(REGEX REPLACE "^long" "::LONG" parameter "${parameter}")
      list(APPEND declared "${parameter}")
      list(APPEND passed "${argument}")
    endforeach()
    list(JOIN declared ", " declared)
    list(JOIN passed ", " passed)
    if(passed STREQUAL "")
      set(arguments "")
    else()
      set(arguments ", ${passed}")
    endif()
    string(APPEND methods
      "    ::HRESULT STDMETHODCALLTYPE ${name}(${declared}) override { return call(${id}${arguments}); }\n")
  endforeach()
  set(${out_methods} "${methods}" PARENT_SCOPE)
endfunction()

function(cvplatform_com_server)
  cmake_parse_arguments(COM "" "TARGET;IDL;INTERFACE" "" ${ARGN})
  get_filename_component(idl ${COM_IDL} ABSOLUTE)
  get_filename_component(stem ${idl} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/com)
  file(MAKE_DIRECTORY ${out})
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(architecture --win64)
  else()
    set(architecture --win32)
  endif()
  set(widl ${CVPLATFORM_WIDL} ${architecture} -I${CVPLATFORM_WINE_IDL_DIR} -L${CVPLATFORM_STDOLE_DIR})
  add_custom_command(OUTPUT ${out}/${stem}.h ${out}/${stem}.tlb
    COMMAND ${widl} -h -o ${out}/${stem}.h ${idl}
    COMMAND ${widl} -t -o ${out}/${stem}.tlb ${idl}
    DEPENDS ${idl}
    COMMENT "widl ${stem}.idl")
  file(WRITE ${out}/${stem}.rc.in "1 TYPELIB \"${out}/${stem}.tlb\"\n")
  configure_file(${out}/${stem}.rc.in ${out}/${stem}.rc COPYONLY)
  add_custom_command(OUTPUT ${out}/${stem}_res.o
    COMMAND ${CMAKE_RC_COMPILER} -O coff -i ${out}/${stem}.rc -o ${out}/${stem}_res.o
    DEPENDS ${out}/${stem}.rc ${out}/${stem}.tlb
    COMMENT "Type library resource of ${stem}")

  cvplatform_generate_forwarding(${idl} COM_METHODS)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${idl})
  set(COM_IDL ${COM_IDL})
  set(COM_HEADER ${out}/${stem}.h)
  configure_file(${CVPLATFORM_SERVER_DIR}/DualServer.cpp.in ${out}/${stem}_server.cpp @ONLY)

  target_sources(${COM_TARGET} PRIVATE
    ${out}/${stem}_server.cpp ${out}/${stem}.h ${out}/${stem}_res.o
    ${CVPLATFORM_SERVER_DIR}/InprocServer.cpp)
  target_include_directories(${COM_TARGET} PRIVATE ${CVPLATFORM_SERVER_DIR} ${out})
  target_compile_definitions(${COM_TARGET} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  target_link_libraries(${COM_TARGET} PRIVATE ole32 oleaut32 uuid advapi32)
  target_link_options(${COM_TARGET} PRIVATE ${CVPLATFORM_SERVER_DIR}/ComServer.def -Wl,--enable-stdcall-fixup)
  set_property(TARGET ${COM_TARGET} APPEND PROPERTY LINK_DEPENDS ${CVPLATFORM_SERVER_DIR}/ComServer.def)
endfunction()
