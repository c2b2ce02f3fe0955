#!/bin/sh
# static_analysis.sh <source root> <win64 build> <native build>
# clang-tidy (the checks in .clang-tidy) and cppcheck over the shipped
# sources, tools included; any finding fails. A source that only the native
# build compiles (the snapshot tool's Windows-1252 code page) is checked with
# that build's flags, every other one with the 64-bit Windows build's.
set -e
root=$1 win=$2 native=$3
cd "$root"
here=$(pwd)
sources=$(ls launcher/*.cpp access/*.cpp registry/*.cpp common/*.cpp permissions/*.cpp custom_actions/*.cpp \
             tools/*/*.cpp 2>/dev/null |
          grep -v blowfish_tables.cpp | grep -v capture_catalogue.cpp)
windows_sources="" native_sources=""
for file in $sources; do
    if grep -q "\"file\": \"$here/$file\"" "$win/compile_commands.json" ||
       ! grep -q "\"file\": \"$here/$file\"" "$native/compile_commands.json"; then
        windows_sources="$windows_sources $file"
    else
        native_sources="$native_sources $file"
    fi
done
mingw=$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix/include/c++ | head -n 1)
status=0
echo "clang-tidy: $(echo "$sources" | wc -w) files"
echo "$windows_sources" | xargs -P 2 -n 4 clang-tidy -p "$win" --quiet \
    --extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-isystem"$mingw" \
    --extra-arg=-isystem"$mingw/x86_64-w64-mingw32" 2>/dev/null || status=1
if [ -n "$native_sources" ]; then
    # shellcheck disable=SC2086 # one argument a file
    clang-tidy -p "$native" --quiet $native_sources 2>/dev/null || status=1
fi
echo "cppcheck"
cppcheck --enable=warning,portability,performance --error-exitcode=1 --inline-suppr -q --std=c++20 \
    -D_WIN32 -DWIN32 -I . $sources || status=1
[ $status -eq 0 ] && echo "static analysis: clean"
exit $status
