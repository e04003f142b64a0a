# Finds QScintilla for Qt 6 (Debian: libqscintilla2-qt6-dev) and defines the imported target
# QScintilla::QScintilla, which brings Qt Widgets along.
find_library(QScintilla_LIBRARY NAMES qscintilla2_qt6)
find_path(QScintilla_INCLUDE_DIR Qsci/qsciscintilla.h PATH_SUFFIXES qt6)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(QScintilla REQUIRED_VARS QScintilla_LIBRARY QScintilla_INCLUDE_DIR)

if(QScintilla_FOUND AND NOT TARGET QScintilla::QScintilla)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_library(QScintilla::QScintilla UNKNOWN IMPORTED)
  set_target_properties(QScintilla::QScintilla PROPERTIES
    IMPORTED_LOCATION ${QScintilla_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${QScintilla_INCLUDE_DIR}
    INTERFACE_LINK_LIBRARIES Qt6::Widgets)
endif()
mark_as_advanced(QScintilla_LIBRARY QScintilla_INCLUDE_DIR)
