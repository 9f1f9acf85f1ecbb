#!/usr/bin/env bash
# Checks that the folders under src/ stay layers: a file includes only its own folder and the
# folders below it, and only gui/ (and the program entry) includes widget, printing or window
# headers of Qt. Prints every offending include as FILE:LINE and exits 1 when there is one.
#   scripts/check-layers.sh [SRC_DIR]     check a source tree (default: src)
#   scripts/check-layers.sh --self-test   show that a wrong include is caught
set -euo pipefail

# Bottom to top. Folders on one line are peers and may not include each other.
LAYERS=(base storage program survey lists files import print update check "gui cli")

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

check_tree() {
    local src=${1%/}
    local failures=0 gui_names
    gui_names=$(gui_header_names | sort -u)
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
        echo "$failures include(s) break the layers"
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
    check_tree "$tmp" >/dev/null || { echo "self-test: a sound tree was refused"; return 1; }

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
    echo "self-test: wrong includes are caught"
}

if [ "${1:-}" = --self-test ]; then
    self_test
else
    check_tree "${1:-src}"
fi
