#!/usr/bin/env bash
# Checks that the folders under src/ stay layers: a file includes only its own folder and the
# folders below it, and only gui/ (and the program entry) includes widget, printing or window
# headers of Qt. Prints every offending include as FILE:LINE and exits 1 when there is one.
# Each core folder's library links the layers named on its vestrum_core_layer(<folder> USES ...) line of
# SRC_DIR/CMakeLists.txt; those must be exactly the folders its files include, so that a library never waits
# for a layer it does not use and never misses one it does.
#   scripts/check-layers.sh [SRC_DIR]     check a source tree (default: src)
#   scripts/check-layers.sh --self-test   show that a wrong include is caught
set -euo pipefail

# Bottom to top. Folders on one line are peers and may not include each other.
LAYERS=(base archive storage program survey lists datafile import print update check "gui cli")

layer_of() {
    local folder=$1 i
    for i in "${!LAYERS[@]}"; do
        for name in ${LAYERS[$i]}; do
            [ "$name" = "$folder" ] && { echo "$i"; return; }
        done
    done
    echo -1
}

qt_headers_dir() {
    local dir
    for dir in /usr/include/*/qt6 /usr/include/qt6; do
        [ -d "$dir/QtWidgets" ] && { echo "$dir"; return; }
    done
    echo ""
}

# Every class header of QtWidgets and QtPrintSupport, and the window classes of QtGui. The painting
# classes of QtGui (documents, fonts, PDF) and the GUI application object that fonts need are not
# windows: the print layer and vestrum-cli use them.
gui_header_names() {
    local qt
    qt=$(qt_headers_dir)
    if [ -n "$qt" ]; then
        find "$qt/QtWidgets" "$qt/QtPrintSupport" -maxdepth 1 -type f -name 'Q*' ! -name '*.h' -printf '%f\n'
    fi
    printf '%s\n' QtWidgets QtPrintSupport QWindow QScreen QClipboard QCursor QDrag \
        QDesktopServices QOffscreenSurface QWidget QApplication QDialog QMainWindow QPrinter
}

# The folders each core library links, from the vestrum_core_layer lines: "folder used used ..." per line.
declared_uses() {
    local cmake_file=$1
    [ -f "$cmake_file" ] || return 0
    sed -nE 's/^[[:space:]]*vestrum_core_layer\(([a-z]+)([[:space:]]+USES)?([^)]*)\).*/\1 \3/p' "$cmake_file" |
        tr -s ' \t' ' '
}

# The folders other than its own that the files of `folder` include, one a line, sorted.
included_folders() {
    local src=$1 folder=$2
    grep -rhoE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' "$src/$folder" 2>/dev/null |
        sed -E 's/.*"([^"/]+)\/$/\1/' | grep -vxF "$folder" | sort -u || true
}

# Each core folder against its declared libraries: every included folder declared, every declared one included.
check_declared_uses() {
    local src=$1 failures=0 folder used declared name
    local -A uses=()
    while read -r folder used; do
        [ -n "$folder" ] && uses[$folder]=" $used "
    done < <(declared_uses "$src/CMakeLists.txt")
    for folder in $(find "$src" -mindepth 1 -maxdepth 1 -type d -printf '%f\n' | sort); do
        [ "$(layer_of "$folder")" = -1 ] && continue
        case " ${LAYERS[-1]} " in *" $folder "*) continue ;; esac
        if [ -z "${uses[$folder]+set}" ]; then
            echo "CMakeLists.txt: the core folder $folder/ has no vestrum_core_layer($folder USES ...) line"
            failures=$((failures + 1))
            continue
        fi
        declared=${uses[$folder]}
        for name in $(included_folders "$src" "$folder"); do
            if [[ $declared != *" $name "* ]]; then
                echo "CMakeLists.txt: $folder/ includes $name/ but vestrum_$folder does not link it (add $name to its USES)"
                failures=$((failures + 1))
            fi
        done
        for name in $declared; do
            if ! included_folders "$src" "$folder" | grep -qxF "$name"; then
                echo "CMakeLists.txt: vestrum_$folder links $name/ but no file of $folder/ includes it (drop it from its USES)"
                failures=$((failures + 1))
            fi
        done
    done
    return "$failures"
}

check_tree() {
    local src=${1%/}
    local failures=0 gui_names declared_failures=0
    gui_names=$(gui_header_names | sort -u)
    check_declared_uses "$src" || declared_failures=$?
    failures=$declared_failures
    while IFS= read -r file; do
        local rel=${file#"$src"/}
        local folder=${rel%%/*}
        local own=-1 core=0
        if [ "$folder" != "$rel" ]; then
            own=$(layer_of "$folder")
            if [ "$own" = -1 ]; then
                echo "$rel: the folder $folder/ is not in the list of layers (scripts/check-layers.sh)"
                failures=$((failures + 1))
                continue
            fi
            [ "$folder" != gui ] && core=1
        fi
        while IFS=: read -r line text; do
            local target
            if [[ $text =~ \#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
                target=${BASH_REMATCH[1]}
                [ "$own" = -1 ] && continue # the program entry may include anything
                local to_folder=${target%%/*}
                [ "$to_folder" = "$target" ] && continue
                local to
                to=$(layer_of "$to_folder")
                if [ "$to_folder" != "$folder" ] && { [ "$to" -ge "$own" ] || [ "$to" = -1 ]; }; then
                    echo "$rel:$line: $folder/ includes \"$target\" from a layer above or beside it"
                    failures=$((failures + 1))
                fi
            elif [[ $text =~ \#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
                target=${BASH_REMATCH[1]}
                [ "$core" = 1 ] || continue
                local name=${target##*/}
                name=${name%.h}
                if [[ $target == QtWidgets/* || $target == QtPrintSupport/* ]] ||
                    grep -qxF "$name" <<<"$gui_names"; then
                    echo "$rel:$line: core folder $folder/ includes the window header <$target>"
                    failures=$((failures + 1))
                fi
            fi
        done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
    done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
    if [ "$failures" -gt 0 ]; then
        echo "$failures include(s) or library declaration(s) break the layers"
        return 1
    fi
    echo "layers kept: $(find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) | wc -l) files checked"
}

self_test() {
    local tmp
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' RETURN
    mkdir -p "$tmp/base" "$tmp/lists" "$tmp/gui/main"
    printf '#include "base/a.h"\n#include <QString>\n' >"$tmp/lists/b.cpp"
    printf '#include "lists/b.h"\n#include <QWidget>\n' >"$tmp/gui/main/w.cpp"
    printf '#pragma once\n' >"$tmp/base/a.h"
    printf 'vestrum_core_layer(base)\nvestrum_core_layer(lists USES base)\n' >"$tmp/CMakeLists.txt"
    check_tree "$tmp" >/dev/null || { echo "self-test: a sound tree was refused"; return 1; }

    # A library that does not link a layer its files include, and one that links a layer it never includes.
    printf '#include "storage/s.h"\n' >"$tmp/lists/e.cpp"
    mkdir -p "$tmp/storage"
    printf '#include "base/a.h"\n' >"$tmp/storage/s.h"
    printf 'vestrum_core_layer(base)\nvestrum_core_layer(storage USES base)\nvestrum_core_layer(lists USES base)\n' \
        >"$tmp/CMakeLists.txt"
    if check_tree "$tmp" >"$tmp/out0"; then
        echo "self-test: an include of a layer the library does not link was not caught"
        return 1
    fi
    grep -q 'lists/ includes storage/ but vestrum_lists does not link it' "$tmp/out0" ||
        { echo "self-test: the report does not name the folder and the missing layer"; return 1; }
    rm "$tmp/lists/e.cpp"
    printf 'vestrum_core_layer(base)\nvestrum_core_layer(storage USES base)\nvestrum_core_layer(lists USES base storage)\n' \
        >"$tmp/CMakeLists.txt"
    if check_tree "$tmp" >"$tmp/out0"; then
        echo "self-test: a linked layer that nothing includes was not caught"
        return 1
    fi
    grep -q 'vestrum_lists links storage/ but no file of lists/ includes it' "$tmp/out0" ||
        { echo "self-test: the report does not name the library and the unused layer"; return 1; }
    printf 'vestrum_core_layer(base)\nvestrum_core_layer(storage USES base)\n' >"$tmp/CMakeLists.txt"
    if check_tree "$tmp" >"$tmp/out0"; then
        echo "self-test: a core folder without a library line was not caught"
        return 1
    fi
    printf 'vestrum_core_layer(base)\nvestrum_core_layer(storage USES base)\nvestrum_core_layer(lists USES base)\n' \
        >"$tmp/CMakeLists.txt"
    check_tree "$tmp" >/dev/null || { echo "self-test: a sound tree with three libraries was refused"; return 1; }

    printf '#include "lists/b.h"\n' >"$tmp/base/a.cpp"
    if check_tree "$tmp" >"$tmp/out1"; then
        echo "self-test: base/ including lists/ was not caught"
        return 1
    fi
    grep -q '^base/a.cpp:1:' "$tmp/out1" || { echo "self-test: the report does not name file and line"; return 1; }
    rm "$tmp/base/a.cpp"

    printf '#include <QString>\n#include <QtWidgets/QLabel>\n' >"$tmp/lists/c.cpp"
    if check_tree "$tmp" >"$tmp/out2"; then
        echo "self-test: a widget header in a core folder was not caught"
        return 1
    fi
    grep -q '^lists/c.cpp:2:' "$tmp/out2" || { echo "self-test: the report does not name file and line"; return 1; }
    rm "$tmp/lists/c.cpp"

    printf '#include "gui/main/w.h"\n' >"$tmp/lists/d.cpp"
    if check_tree "$tmp" >/dev/null; then
        echo "self-test: a core folder including gui/ was not caught"
        return 1
    fi
    echo "self-test: wrong includes and wrong library declarations are caught"
}

if [ "${1:-}" = --self-test ]; then
    self_test
else
    check_tree "${1:-src}"
fi
