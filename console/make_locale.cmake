# Builds the ja_JP.UTF-8 locale into LOCALE_DIR, for a test run with LOCPATH=LOCALE_DIR:
# under it Wine gives a program the ANSI code page 932 of Japanese Windows. A machine
# without the locale among its own still has its sources (Debian's locales package).
#   cmake -DLOCALE_DIR=<dir> -P console/make_locale.cmake
if(EXISTS "${LOCALE_DIR}/ja_JP.UTF-8/LC_CTYPE")
  return()
endif()
file(MAKE_DIRECTORY "${LOCALE_DIR}")
execute_process(COMMAND localedef -i ja_JP -f UTF-8 "${LOCALE_DIR}/ja_JP.UTF-8"
                RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT EXISTS "${LOCALE_DIR}/ja_JP.UTF-8/LC_CTYPE")
  message(FATAL_ERROR "localedef could not build ja_JP.UTF-8 (${result}): ${errors}")
endif()
