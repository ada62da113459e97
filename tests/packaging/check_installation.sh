#!/usr/bin/env bash
# Installs the build into a private prefix and builds applications against it
# the ways an application developer would. Usage: BUILD_DIR HERE WORK_DIR
set -euo pipefail
build=$1 here=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
include=$prefix/include/KelCommon
pc_dir=$(dirname "$(find "$prefix" -name kelcommon.pc)")
fail() { echo "FAIL: $*"; exit 1; }

echo "== headers: one folder per library, no platform folder on the include path, private headers left out"
folders=$(cd "$include" && ls | xargs)
[ "$folders" = "KelAddr KelCodec KelCore KelListen KelMarkup KelReach KelStore KelUpdate" ] || fail "folders: $folders"
for private in FtpSession.h Socket.h HttpTransfer.h NamedMutex.h LocalFile.h FileReplacement.h ClientErrors.h EncodingScan.h; do
  [ -z "$(find "$include" -name "$private")" ] || fail "$private is installed"
done

echo "== every header compiles on its own"
(cd "$include" && find . -name '*.h' | sed 's|^\./||' | sort) > "$work/headers"
xargs -P 2 -I{} sh -c 'echo "#include <{}>" | g++ -std=c++20 -Wall -Wextra -Werror -fsyntax-only -I"$1" -x c++ - || { echo "FAIL: {}"; exit 255; }' \
  sh "$include" < "$work/headers"

echo "== with <sql.h> and <sqlext.h> before and after all of them"
sed 's|.*|#include <&>|' "$work/headers" > "$work/all.h"
for order in first last; do
  {
    [ $order = first ] && printf '#include <sql.h>\n#include <sqlext.h>\n'
    echo "#include \"$work/all.h\""
    [ $order = last ] && printf '#include <sql.h>\n#include <sqlext.h>\n'
    cat "$here/odbc_beside_kel.cpp"
  } > "$work/sql_$order.cpp"
  # shellcheck disable=SC2046
  g++ -std=c++20 -Wall -Wextra -Werror -o "$work/sql_$order" "$work/sql_$order.cpp" \
    $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs kelcommon) -lodbc
  LD_LIBRARY_PATH=$(dirname "$pc_dir") "$work/sql_$order" || fail "sql_$order"
done

echo "== pkg-config: one module per library, requiring along the link graph"
for module in kelcore kelcodec kelmarkup kelupdate keladdr kellisten kelreach kelstore kelcommon; do
  PKG_CONFIG_PATH=$pc_dir pkg-config --exists --print-errors "$module" || fail "$module"
done
[ "$(PKG_CONFIG_PATH=$pc_dir pkg-config --libs kelreach | xargs -n1 | grep -c '^-l')" = 3 ] || fail "kelreach libs"

echo "== a one-file program built with pkg-config kelstore runs, also after the prefix moved"
mv "$prefix" "$work/moved"
prefix=$work/moved
pc_dir=${pc_dir/$work\/prefix/$prefix}
# shellcheck disable=SC2046
g++ -std=c++20 -o "$work/store_app" "$here/store_app.cpp" $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs kelstore)
LD_LIBRARY_PATH=$(dirname "$pc_dir") "$work/store_app" || fail "store_app"

echo "== find_package(KelCommon) builds and runs an application"
{ cmake -S "$here/cmake_app" -B "$work/cmake_app" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" &&
  cmake --build "$work/cmake_app"; } > "$work/cmake_app.log" 2>&1 || { cat "$work/cmake_app.log"; fail "cmake_app build"; }
"$work/cmake_app/cmake_app" || fail "cmake_app"

rm -rf "$work"
echo "installation checks passed"
