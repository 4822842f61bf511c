# The publisher's public keys the manager verifies publications with.
#
# VORNIS_PUBLISHER_KEY is the path of a PEM public key (SubjectPublicKeyInfo, ECDSA
# P-256), or several separated by ";": a signature by any of them verifies, so a
# publisher can change keys (ship a manager that trusts both, then sign with the new
# one). Left empty, the first configure makes two throwaway pairs in the build tree,
# publisher/private.pem (PKCS#8, unencrypted) with publisher/public.pem, which the demo
# publication and the tests sign with, and publisher/next/, the key a change would move
# to; the build trusts both, and says so loudly at every configure. OFF builds a manager
# that verifies nothing. A key of another kind or curve stops the configure step.
# VORNIS_RELEASE (set by the release preset) refuses to configure without a real key.
set(VORNIS_PUBLISHER_KEY "" CACHE STRING
    "PEM public keys (ECDSA P-256, ';' between paths) publications are verified with; empty: throwaway pairs in the build tree; OFF: no verification")
option(VORNIS_RELEASE "A release build: refuse to configure without VORNIS_PUBLISHER_KEY" OFF)

find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Writes a header declaring the keys at PEMS (a list, or OFF) as `inline constexpr`
# bytes in NAMESPACE.
function(vornis_publisher_key_header pems header namespace)
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/publisher_key.py
            header "${pems}" ${header} ${namespace}
    RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "publisher key ${pems}: ${error}")
  endif()
  if(NOT pems STREQUAL "OFF")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${pems})
  endif()
endfunction()

# Makes a throwaway pair in DIR unless one is there.
function(vornis_throwaway_pair dir)
  if(NOT EXISTS ${dir}/public.pem OR NOT EXISTS ${dir}/private.pem)
    execute_process(
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/publisher_key.py generate ${dir}
      RESULT_VARIABLE result ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "could not make a throwaway publisher key: ${error}")
    endif()
  endif()
endfunction()

set(VORNIS_PUBLISHER_DIR ${CMAKE_BINARY_DIR}/publisher)
set(VORNIS_PUBLISHER_NEXT_PRIVATE "")
if(VORNIS_RELEASE AND (VORNIS_PUBLISHER_KEY STREQUAL "" OR VORNIS_PUBLISHER_KEY STREQUAL "OFF"))
  message(FATAL_ERROR
    "A release build needs the publisher's public key: -DVORNIS_PUBLISHER_KEY=/path/public.pem "
    "(several separated by ';' while the key changes). A release never carries a throwaway "
    "key or verifies nothing.")
endif()
if(VORNIS_PUBLISHER_KEY STREQUAL "OFF")
  set(VORNIS_PUBLISHER_PUBLIC "")
  set(VORNIS_PUBLISHER_PRIVATE "")
  message(WARNING "VORNIS_PUBLISHER_KEY=OFF: this manager verifies no signature at all.")
elseif(VORNIS_PUBLISHER_KEY STREQUAL "")
  vornis_throwaway_pair(${VORNIS_PUBLISHER_DIR})
  vornis_throwaway_pair(${VORNIS_PUBLISHER_DIR}/next)
  set(VORNIS_PUBLISHER_PUBLIC "${VORNIS_PUBLISHER_DIR}/public.pem;${VORNIS_PUBLISHER_DIR}/next/public.pem")
  set(VORNIS_PUBLISHER_PRIVATE ${VORNIS_PUBLISHER_DIR}/private.pem)
  set(VORNIS_PUBLISHER_NEXT_PRIVATE ${VORNIS_PUBLISHER_DIR}/next/private.pem)
  message(WARNING
    "\n"
    "  ***************************************************************************\n"
    "  NO PUBLISHER KEY GIVEN: this build trusts THROWAWAY keys made in the build tree:\n"
    "    ${VORNIS_PUBLISHER_DIR}/private.pem (and public.pem)\n"
    "    ${VORNIS_PUBLISHER_DIR}/next/private.pem (and public.pem)\n"
    "  Anyone who reads these files can sign publications this manager accepts.\n"
    "  Never ship it: release builds use --preset release with\n"
    "  -DVORNIS_PUBLISHER_KEY=/path/public.pem\n"
    "  ***************************************************************************")
else()
  set(VORNIS_PUBLISHER_PUBLIC "")
  foreach(pem IN LISTS VORNIS_PUBLISHER_KEY)
    string(STRIP "${pem}" pem)
    if(pem STREQUAL "")
      message(FATAL_ERROR "VORNIS_PUBLISHER_KEY has an empty entry: ${VORNIS_PUBLISHER_KEY}")
    endif()
    get_filename_component(pem ${pem} ABSOLUTE)
    list(APPEND VORNIS_PUBLISHER_PUBLIC ${pem})
  endforeach()
  set(VORNIS_PUBLISHER_PRIVATE "")
endif()

# The header of the keys the manager carries (kConfigured false when built with OFF).
set(VORNIS_PUBLISHER_HEADER ${CMAKE_BINARY_DIR}/src/signing/generated/PublisherKey.h)
if(VORNIS_PUBLISHER_PUBLIC)
  vornis_publisher_key_header("${VORNIS_PUBLISHER_PUBLIC}" ${VORNIS_PUBLISHER_HEADER} signing::publisher)
else()
  vornis_publisher_key_header(OFF ${VORNIS_PUBLISHER_HEADER} signing::publisher)
endif()
