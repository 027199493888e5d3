# Artwork tools (need Qt6::Svg and Qt6::Gui, found by the top-level file).
#   svg_to_png   - renders one SVG to a PNG at a given size (icon at hicolor sizes)
#   svg_preview  - renders every picture of ui/assets and the composed window
# Include from tools/CMakeLists.txt with:
#   include(${CMAKE_CURRENT_SOURCE_DIR}/svg_preview.cmake OPTIONAL)
add_executable(svg_to_png ${CMAKE_CURRENT_LIST_DIR}/svg_to_png.cpp)
target_link_libraries(svg_to_png PRIVATE Qt6::Svg Qt6::Gui)
add_executable(svg_preview ${CMAKE_CURRENT_LIST_DIR}/svg_preview.cpp)
target_link_libraries(svg_preview PRIVATE Qt6::Svg Qt6::Gui)
