# The release as packaging/changelog states it: its newest entry must be of this version, and
# gives the package's maintainer and the release date for the manual pages and the metainfo.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog _entries REGEX "^tessaly \\(")
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog _trailers REGEX "^ -- ")
list(GET _entries 0 _newest)
list(GET _trailers 0 _trailer)
if(NOT _newest MATCHES "^tessaly \\(([^)]+)\\)" OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog's newest entry (${_newest}) is not of version "
    "${PROJECT_VERSION}: add an entry for it")
endif()
if(NOT _trailer MATCHES "^ -- (.+ <[^>]+>)  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "packaging/changelog: cannot read the newest entry's trailer: ${_trailer}")
endif()
set(TESSALY_MAINTAINER "${CMAKE_MATCH_1}")
set(_day ${CMAKE_MATCH_2})
set(_year ${CMAKE_MATCH_4})
set(_months Jan January Feb February Mar March Apr April May May Jun June Jul July Aug August
  Sep September Oct October Nov November Dec December)
list(FIND _months ${CMAKE_MATCH_3} _at)
math(EXPR _number "${_at} / 2 + 1")
math(EXPR _at "${_at} + 1")
list(GET _months ${_at} _monthName)
string(REGEX REPLACE "^0" "" _dayNumber ${_day})
if(_number LESS 10)
  set(_number 0${_number})
endif()
# 2026-12-08 for the metainfo, "December 8, 2026" for mdoc.
set(TESSALY_RELEASE_DATE ${_year}-${_number}-${_day})
set(TESSALY_MAN_DATE "${_monthName} ${_dayNumber}, ${_year}")
