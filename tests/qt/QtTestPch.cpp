// The object that carries the Qt test programs' precompiled headers
// (tests/qt/CMakeLists.txt); it defines nothing.
