#!/bin/sh
# static_analysis.sh <source root> <win64 build> <native build>
# clang-tidy (the checks in .clang-tidy) and cppcheck over the shipped
# sources; any finding fails.
set -e
root=$1 win=$2 native=$3
cd "$root"
sources=$(ls launcher/*.cpp access/*.cpp registry/*.cpp common/*.cpp permissions/*.cpp custom_actions/*.cpp 2>/dev/null |
          grep -v blowfish_tables.cpp | grep -v capture_catalogue.cpp)
mingw=$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix/include/c++ | head -n 1)
status=0
echo "clang-tidy: $(echo "$sources" | wc -w) files"
echo "$sources" | xargs -P 2 -n 4 clang-tidy -p "$win" --quiet \
    --extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-isystem"$mingw" \
    --extra-arg=-isystem"$mingw/x86_64-w64-mingw32" 2>/dev/null || status=1
echo "cppcheck"
cppcheck --enable=warning,portability,performance --error-exitcode=1 --inline-suppr -q --std=c++20 \
    -D_WIN32 -DWIN32 -I . $sources || status=1
[ $status -eq 0 ] && echo "static analysis: clean"
exit $status
