# The publisher's public key the manager verifies publications with.
#
# VORNIS_PUBLISHER_KEY is the path of a PEM public key (SubjectPublicKeyInfo, ECDSA
# P-256). Left empty, the first configure makes a throwaway pair in the build tree,
# publisher/private.pem (PKCS#8, unencrypted) and publisher/public.pem, which the demo
# publication and the tests sign and verify with. OFF builds a manager that verifies
# nothing. A key of another kind or curve stops the configure step.
set(VORNIS_PUBLISHER_KEY "" CACHE STRING
    "PEM public key (ECDSA P-256) publications are verified with; empty: a throwaway pair in the build tree; OFF: no verification")

find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Writes a header declaring the key at PEM as `inline constexpr` bytes in NAMESPACE.
function(vornis_publisher_key_header pem header namespace)
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/publisher_key.py
            header ${pem} ${header} ${namespace}
    RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "publisher key ${pem}: ${error}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${pem})
endfunction()

set(VORNIS_PUBLISHER_DIR ${CMAKE_BINARY_DIR}/publisher)
if(VORNIS_PUBLISHER_KEY STREQUAL "OFF")
  set(VORNIS_PUBLISHER_PUBLIC "")
  set(VORNIS_PUBLISHER_PRIVATE "")
elseif(VORNIS_PUBLISHER_KEY STREQUAL "")
  set(VORNIS_PUBLISHER_PUBLIC ${VORNIS_PUBLISHER_DIR}/public.pem)
  set(VORNIS_PUBLISHER_PRIVATE ${VORNIS_PUBLISHER_DIR}/private.pem)
  if(NOT EXISTS ${VORNIS_PUBLISHER_PUBLIC} OR NOT EXISTS ${VORNIS_PUBLISHER_PRIVATE})
    execute_process(
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/publisher_key.py
              generate ${VORNIS_PUBLISHER_DIR}
      RESULT_VARIABLE result ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "could not make a throwaway publisher key: ${error}")
    endif()
  endif()
else()
  get_filename_component(VORNIS_PUBLISHER_PUBLIC ${VORNIS_PUBLISHER_KEY} ABSOLUTE)
  set(VORNIS_PUBLISHER_PRIVATE "")
endif()

# The header of the key the manager carries (kConfigured false when built with OFF).
set(VORNIS_PUBLISHER_HEADER ${CMAKE_BINARY_DIR}/src/signing/generated/PublisherKey.h)
if(VORNIS_PUBLISHER_PUBLIC)
  vornis_publisher_key_header(${VORNIS_PUBLISHER_PUBLIC} ${VORNIS_PUBLISHER_HEADER} signing::publisher)
else()
  vornis_publisher_key_header(OFF ${VORNIS_PUBLISHER_HEADER} signing::publisher)
endif()
