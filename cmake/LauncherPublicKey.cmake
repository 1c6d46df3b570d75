# The publisher's minisign public key, compiled into the update check.
#   tidewake_public_key_line(VALUE OUT) sets OUT to the base64 line of the key that VALUE holds
#   (the line itself, or the path of a minisign .pub file), after checking that it decodes to the
#   42 bytes of an Ed25519 key ("Ed", key id, key): 56 base64 characters, the first three of
#   which can only be "RW" and one of Q, R, S, T.
function(tidewake_public_key_line value out)
  set(line "${value}")
  if(EXISTS "${value}" AND NOT IS_DIRECTORY "${value}")
    file(STRINGS "${value}" lines)
    set(line "")
    foreach(candidate IN LISTS lines)
      string(STRIP "${candidate}" candidate)
      if(candidate STREQUAL "" OR candidate MATCHES "^untrusted comment:")
        continue()
      endif()
      set(line "${candidate}")
      break()
    endforeach()
  endif()
  string(STRIP "${line}" line)
  if(NOT line MATCHES "^RW[QRST][A-Za-z0-9+/]+$")
    message(FATAL_ERROR "LAUNCHER_PUBLIC_KEY is no minisign public key (the base64 line after "
                        "\"untrusted comment:\" in a .pub file, or that file): ${value}")
  endif()
  string(LENGTH "${line}" length)
  if(NOT length EQUAL 56)
    message(FATAL_ERROR "LAUNCHER_PUBLIC_KEY must decode to 42 bytes (56 base64 characters), "
                        "not ${length} characters: ${line}")
  endif()
  set(${out} "${line}" PARENT_SCOPE)
endfunction()

# The key pair the signed test launcher trusts and the road suite signs with, made once per
# checkout with Debian's minisign (an unencrypted secret key: the suites sign without a prompt),
# shared by the build trees like the test CA.
#   tidewake_test_signing_key(DIR) sets TIDEWAKE_TEST_SIGNING_PUBLIC_KEY (the base64 line) and
#   TIDEWAKE_TEST_SIGNING_SECRET_KEY (DIR/launcher.key, read by the suites only).
function(tidewake_test_signing_key dir)
  set(public "${dir}/launcher.pub")
  set(secret "${dir}/launcher.key")
  file(MAKE_DIRECTORY "${dir}")
  file(LOCK "${dir}/.lock" GUARD FUNCTION TIMEOUT 120)
  if(NOT EXISTS "${public}" OR NOT EXISTS "${secret}")
    find_program(TIDEWAKE_MINISIGN minisign REQUIRED)
    file(REMOVE "${public}.tmp" "${secret}.tmp")
    execute_process(
      COMMAND ${TIDEWAKE_MINISIGN} -G -W -p "${public}.tmp" -s "${secret}.tmp"
      RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error INPUT_FILE /dev/null TIMEOUT 60)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "the test signing key could not be made in ${dir}: ${error}")
    endif()
    file(RENAME "${secret}.tmp" "${secret}")
    file(RENAME "${public}.tmp" "${public}")
  endif()
  tidewake_public_key_line("${public}" line)
  set(TIDEWAKE_TEST_SIGNING_PUBLIC_KEY "${line}" PARENT_SCOPE)
  set(TIDEWAKE_TEST_SIGNING_SECRET_KEY "${secret}" PARENT_SCOPE)
endfunction()
