# The release date in the forms its users want: seconds since 1970 (scdoc's
# SOURCE_DATE_EPOCH, so that the manual pages carry the release's date and
# build the same on any day) and RFC 2822 (the Debian changelog).
function(peelbox_release_dates date epoch_var rfc2822_var)
  if(NOT date MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "Release date '${date}' is not YYYY-MM-DD")
  endif()
  math(EXPR y "${CMAKE_MATCH_1}")
  math(EXPR m "${CMAKE_MATCH_2}")
  math(EXPR d "${CMAKE_MATCH_3}")
  # Days since 1970-01-01 in the proleptic Gregorian calendar, counting years
  # from March so that the leap day ends a year (Howard Hinnant's days_from_civil).
  if(m LESS_EQUAL 2)
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR era "${y} / 400")
  math(EXPR yoe "${y} - ${era} * 400")
  math(EXPR mp "(${m} + 9) % 12")
  math(EXPR doy "(153 * ${mp} + 2) / 5 + ${d} - 1")
  math(EXPR doe "${yoe} * 365 + ${yoe} / 4 - ${yoe} / 100 + ${doy}")
  math(EXPR days "${era} * 146097 + ${doe} - 719468")
  math(EXPR epoch "${days} * 86400")
  math(EXPR weekday "(${days} + 4) % 7")  # 1970-01-01 was a Thursday
  list(GET _peelbox_weekdays ${weekday} wd)
  math(EXPR month_index "${CMAKE_MATCH_2} - 1")
  list(GET _peelbox_months ${month_index} mon)
  set(${epoch_var} ${epoch} PARENT_SCOPE)
  set(${rfc2822_var} "${wd}, ${CMAKE_MATCH_3} ${mon} ${CMAKE_MATCH_1} 00:00:00 +0000" PARENT_SCOPE)
endfunction()
set(_peelbox_weekdays Sun Mon Tue Wed Thu Fri Sat)
set(_peelbox_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
