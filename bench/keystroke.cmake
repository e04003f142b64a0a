add_executable(bench_keystroke bench_keystroke.cpp mainwindow.h sources.h)
target_link_libraries(bench_keystroke PRIVATE vornex_editor benchmark::benchmark
  vornex_compile_options)
target_include_directories(bench_keystroke PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})

add_executable(bench_blocklist bench_blocklist.cpp mainwindow.h sources.h)
target_link_libraries(bench_blocklist PRIVATE vornex_editor benchmark::benchmark
  vornex_compile_options)
target_include_directories(bench_blocklist PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
