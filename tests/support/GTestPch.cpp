// The object that carries the test programs' precompiled GoogleTest header
// (tests/CMakeLists.txt); it defines nothing.
