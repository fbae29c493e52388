# Lays the colour table (Colors.json: name -> "#RRGGBB" or "#RRGGBBAA") and the drawn
# pictures out as the bundle's asset catalogue: <name>.colorset and <name>.imageset
# folders, each with its Contents.json.
# cmake -DCOLORS=<Colors.json> -DCATALOGUE=<Assets.xcassets> -DIMAGES=<png;png> -P make_assets.cmake
file(READ "${COLORS}" table)
string(JSON count LENGTH "${table}")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  string(JSON name MEMBER "${table}" ${i})
  string(JSON hex GET "${table}" "${name}")
  string(REGEX REPLACE "^#" "" hex "${hex}")
  string(LENGTH "${hex}" length)
  if(NOT (length EQUAL 6 OR length EQUAL 8))
    message(FATAL_ERROR "colour ${name}: \"${hex}\" is not #RRGGBB or #RRGGBBAA")
  endif()
  string(SUBSTRING "${hex}" 0 2 r)
  string(SUBSTRING "${hex}" 2 2 g)
  string(SUBSTRING "${hex}" 4 2 b)
  set(alpha "1.000")
  if(length EQUAL 8)
    string(SUBSTRING "${hex}" 6 2 a)
    math(EXPR a "0x${a} * 1000 / 255")
    math(EXPR whole "${a} / 1000")
    math(EXPR frac "${a} % 1000")
    string(LENGTH "${frac}" fl)
    if(fl EQUAL 1)
      set(frac "00${frac}")
    elseif(fl EQUAL 2)
      set(frac "0${frac}")
    endif()
    set(alpha "${whole}.${frac}")
  endif()
  file(WRITE "${CATALOGUE}/${name}.colorset/Contents.json"
"{
  \"colors\" : [
    {
      \"color\" : {
        \"color-space\" : \"srgb\",
        \"components\" : { \"alpha\" : \"${alpha}\", \"red\" : \"0x${r}\", \"green\" : \"0x${g}\", \"blue\" : \"0x${b}\" }
      },
      \"idiom\" : \"universal\"
    }
  ]
}
")
endforeach()
foreach(png IN LISTS IMAGES)
  get_filename_component(name "${png}" NAME_WE)
  file(COPY "${png}" DESTINATION "${CATALOGUE}/${name}.imageset")
  file(WRITE "${CATALOGUE}/${name}.imageset/Contents.json"
"{
  \"images\" : [ { \"filename\" : \"${name}.png\", \"idiom\" : \"universal\", \"scale\" : \"1x\" } ]
}
")
endforeach()
