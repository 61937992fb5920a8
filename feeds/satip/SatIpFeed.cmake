# The SAT>IP feed session, its dialogs and configuration pages.
add_library(feeds_satip STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SATIPFeed.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SatIpConfiguration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SatIpFeedKind.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SatIpNoticeDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SatIpPages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SatIpServerSelectDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SsdpServiceConflict.cpp
)
target_include_directories(feeds_satip PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(feeds_satip PUBLIC feeds_satip_proto feeds feeds_transponders net kestrel-platform)
set_target_properties(feeds_satip PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
