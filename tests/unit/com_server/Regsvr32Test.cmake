# regsvr32 registers both modules in the system's registry and regsvr32 /u
# removes every key they wrote.
#   cmake -DEMULATOR=wine -DMODULES=a.dll,b.dll -P Regsvr32Test.cmake
string(REPLACE "," ";" modules "${MODULES}")

set(keys
  "HKCR\\SOCorvane.posprinter\\CurVer"
  "HKCR\\SOCorvane.posprinter.1\\CLSID"
  "HKCR\\CLSID\\{0353F054-4D22-44C1-BD26-0F0FE4360036}\\Programmable"
  "HKCR\\TypeLib\\{92EBCDDB-898C-47C9-95AC-C61F0933A5CE}"
  "HKCR\\Interface\\{20977C65-7BB8-4145-A1C9-DBD934E67A2B}"
  "HKCR\\SOCorvaneCash.SOCvCash\\CurVer"
  "HKCR\\SOCorvaneCash.SOCvCash.1\\CLSID"
  "HKCR\\CLSID\\{6B1D2E84-3C57-4A9F-8E20-71D4C5A39B16}\\Programmable"
  "HKCR\\TypeLib\\{071664FA-BEA8-4E89-9D0F-A3C556C9E5AF}"
  "HKCR\\Interface\\{74DB1963-6C7F-4EC2-B3E0-046675EB204F}")
# What is gone after unregistering: the keys themselves, not only their
# subkeys.
set(roots
  "HKCR\\SOCorvane.posprinter" "HKCR\\SOCorvane.posprinter.1"
  "HKCR\\CLSID\\{0353F054-4D22-44C1-BD26-0F0FE4360036}"
  "HKCR\\SOCorvaneCash.SOCvCash" "HKCR\\SOCorvaneCash.SOCvCash.1"
  "HKCR\\CLSID\\{6B1D2E84-3C57-4A9F-8E20-71D4C5A39B16}")

function(regsvr32)
  foreach(module IN LISTS modules)
    string(REPLACE "/" "\\" windowsPath "Z:${module}")
    execute_process(COMMAND ${EMULATOR} regsvr32 /s ${ARGN} "${windowsPath}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "regsvr32 ${ARGN} ${windowsPath}: exit ${result}")
    endif()
  endforeach()
endfunction()

function(present key out)
  execute_process(COMMAND ${EMULATOR} reg query "${key}" ${ARGN}
    RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_QUIET)
  if(result EQUAL 0)
    set(${out} "${text}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

regsvr32()
foreach(key IN LISTS keys)
  present("${key}" text)
  if(text STREQUAL "")
    message(FATAL_ERROR "not registered: ${key}")
  endif()
endforeach()
foreach(clsid IN ITEMS {0353F054-4D22-44C1-BD26-0F0FE4360036} {6B1D2E84-3C57-4A9F-8E20-71D4C5A39B16})
  present("HKCR\\CLSID\\${clsid}\\InprocServer32" text /v ThreadingModel)
  if(NOT text MATCHES "Apartment")
    message(FATAL_ERROR "${clsid}: threading model not Apartment: ${text}")
  endif()
endforeach()

regsvr32(/u)
foreach(key IN LISTS keys roots)
  present("${key}" text)
  if(NOT text STREQUAL "")
    message(FATAL_ERROR "left after unregistering: ${key}")
  endif()
endforeach()
message(STATUS "registered and removed")
