# Writes the AppStream metadata: cmake -DIN=<metainfo.xml.in> -DOUT=<file>
#   [-DSCREENSHOT_BASE_URL=<url>] -P Metainfo.cmake
#
# Software centres fetch screenshots by URL, so they are listed only once a base URL is given
# (the folder where the screenshot tool's images are published; the configure option
# TAPWELL_SCREENSHOT_BASE_URL). Without it the metadata carries no screenshots rather than links
# that lead nowhere.
#
# The screenshots, in the order software centres show them (the first is the default). Each entry
# is the file name the screenshot tool writes, then its caption in English, Simplified Chinese and
# Japanese, separated by "|".
set(screenshots
  "popover-en-light.png|Today's keystrokes, rank, theme and volumes at a glance|今日击键、段位、主题和音量一目了然|今日のキー入力、ランク、テーマ、音量がひと目でわかります"
  "settings-general-en-light.png|General settings: language, menu bar item, shortcut and login|通用设置：语言、菜单栏项目、快捷键和开机启动|一般設定：言語、メニューバー項目、ショートカット、ログイン時の起動"
  "recap-en-light.png|The daily recap card, ready to share|可以分享的今日回顾卡片|シェアできる一日のまとめカード")

cmake_policy(VERSION 3.25)

if(NOT IN OR NOT OUT)
  message(FATAL_ERROR "Metainfo.cmake needs -DIN=... and -DOUT=...")
endif()

function(escape_xml text result)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

set(TAPWELL_METAINFO_SCREENSHOTS "")
if(SCREENSHOT_BASE_URL)
  string(REGEX REPLACE "/+$" "" base "${SCREENSHOT_BASE_URL}")
  if(NOT base MATCHES "^https?://[^/]+")
    message(FATAL_ERROR "the screenshot base URL must be an http or https URL: ${SCREENSHOT_BASE_URL}")
  endif()
  set(block "  <screenshots>\n")
  set(type " type=\"default\"")
  foreach(entry IN LISTS screenshots)
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 file)
    list(GET fields 1 en)
    list(GET fields 2 zh)
    list(GET fields 3 ja)
    escape_xml("${base}/${file}" url)
    string(APPEND block "    <screenshot${type}>\n")
    foreach(caption IN ITEMS "en|${en}" "zh_CN|${zh}" "ja|${ja}")
      string(REPLACE "|" ";" parts "${caption}")
      list(GET parts 0 language)
      list(GET parts 1 text)
      escape_xml("${text}" text)
      if(language STREQUAL "en")
        string(APPEND block "      <caption>${text}</caption>\n")
      else()
        string(APPEND block "      <caption xml:lang=\"${language}\">${text}</caption>\n")
      endif()
    endforeach()
    string(APPEND block "      <image type=\"source\">${url}</image>\n    </screenshot>\n")
    set(type "")
  endforeach()
  string(APPEND block "  </screenshots>")
  set(TAPWELL_METAINFO_SCREENSHOTS "${block}")
endif()

configure_file("${IN}" "${OUT}" @ONLY)
