# The CA that test builds trust and the test servers issue their certificates from, made once
# per checkout with the openssl command when a build is configured: every build tree of the
# checkout (Linux, sanitizers, the Windows cross-build) embeds the same certificate, so a Linux
# test server is trusted by a Windows launcher under Wine too.
#   tidewake_test_ca(DIR) sets TIDEWAKE_TEST_CA_BUNDLE (DIR/ca.pem, the certificate alone: the
#   bytes compiled in) and TIDEWAKE_TEST_CA_KEY (DIR/ca.key, read by the test servers only).
function(tidewake_test_ca dir)
  set(certificate "${dir}/ca.pem")
  set(key "${dir}/ca.key")
  file(MAKE_DIRECTORY "${dir}")
  # Build trees of one checkout are configured side by side: one makes the CA, the others wait.
  file(LOCK "${dir}/.lock" GUARD FUNCTION TIMEOUT 120)
  if(NOT EXISTS "${certificate}" OR NOT EXISTS "${key}")
    find_program(TIDEWAKE_OPENSSL openssl REQUIRED)
    execute_process(
      # RSA: Wine's CryptoAPI refuses now and then a valid ECDSA signature (one whose r or s is
      # a byte short), which failed a Windows launcher's handshake with a test server at random.
      COMMAND ${TIDEWAKE_OPENSSL} req -x509 -newkey rsa:2048 -nodes
              -days 3650 -subj "/CN=Tidewake test CA"
              -addext "basicConstraints=critical,CA:TRUE"
              -addext "keyUsage=critical,keyCertSign,cRLSign"
              -keyout "${key}.tmp" -out "${certificate}.tmp"
      RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error TIMEOUT 60)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "the test CA could not be made in ${dir}: ${error}")
    endif()
    file(RENAME "${key}.tmp" "${key}")
    file(RENAME "${certificate}.tmp" "${certificate}")
  endif()
  set(TIDEWAKE_TEST_CA_BUNDLE "${certificate}" PARENT_SCOPE)
  set(TIDEWAKE_TEST_CA_KEY "${key}" PARENT_SCOPE)
endfunction()
