#!/usr/bin/env bash
# Builds the Debian package in build/ and checks what a user gets from it, without installing
# it: the package is unpacked into a temporary folder, its programs run from there, and its
# desktop entry and MIME type pass the desktop's own tools. Builds build/ with scripts/setup.sh
# first (as it is configured, or without the tests when it is new), and installs the
# packaging tools and the desktop's tools it checks with.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
# dpkg-dev and file: dpkg-deb and dpkg-shlibdeps, and CPack's look at what is a program.
scripts/install-packages.sh dpkg-dev file desktop-file-utils shared-mime-info libxml2-utils

rm -f build/telmira_*.deb # one of an older version would be taken for this one
cmake --build build -j2 --target package
debs=(build/telmira_*.deb)
((${#debs[@]} == 1)) || { echo "expected one package in build/, found: ${debs[*]}" >&2; exit 1; }
echo "== ${debs[0]}"
dpkg-deb --field "${debs[0]}" Depends Recommends

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "${debs[0]}" "$root"
bin=$root/usr/bin
share=$root/usr/share
export QT_QPA_PLATFORM=offscreen

passed=0
# check WHAT COMMAND...: runs the command; its output is shown only when it fails.
check() {
    local what=$1 out
    shift
    if out=$("$@" 2>&1); then
        echo "ok: $what"
        passed=$((passed + 1))
    else
        echo "FAILED: $what" >&2
        echo "$out" >&2
        exit 1
    fi
}

# help2man takes a page's synopsis from the usage forms of the program's --help ("Usage:" and
# "or:", in Russian "Использование:" and "или:"), a line each: where a form goes on to a second
# line, the synopsis ends and the rest lands under the description. Every word of the help's
# usage lines, and of the lines that go on from them, is to be in the synopsis section.
synopsis_whole() {
    local tool=$1 page heading synopsis word
    page=$(zcat "$share/man/man1/$tool.1.gz")
    heading=$(grep '^\.SH ' <<<"$page" | sed -n '2s/^\.SH //p')
    if [[ $heading != SYNOPSIS && $heading != ОБЗОР ]]; then
        echo "the second section is $heading, not the synopsis"
        return 1
    fi
    synopsis=$(awk '/^\.SH / { n++; next } n == 2' <<<"$page" |
        sed -e 's/\\f[BIRP]//g' -e 's/\\[,/&]//g' -e 's/\\-/-/g' -e 's/^\.B //' | tr -d '[]')
    for word in $("$bin/$tool" --help | awk 'NR > 1 && !/^[[:space:]]/ { exit } 1' | tr -d '[]'); do
        [[ $word == *: ]] && continue # "Usage:", "or:"
        if ! grep -qF -- "$word" <<<"$synopsis"; then
            echo "$word of the usage is not in the synopsis:"
            echo "$synopsis"
            return 1
        fi
    done
}

# The window runs until it is closed: alive after a few seconds means it started.
starts() {
    local status=0
    timeout 3 "$@" || status=$?
    ((status == 124))
}

check "telmira --version" bash -c '"$1" --version | grep -qx "TELMIRA ver 1.6"' _ "$bin/telmira"
check "telmira-dcc --version" "$bin/telmira-dcc" --version
check "telmira-sim --version" "$bin/telmira-sim" --version
check "telmira-sim writes a recording and telmira-dcc draws it" bash -c \
    '"$1/telmira-sim" --out "$2/run.dcc" --frames 5000 --noise &&
     "$1/telmira-dcc" png "$2/run.dcc" "$2/chart.png" && test -s "$2/chart.png"' _ "$bin" "$root"
check "telmira starts" starts "$bin/telmira"
# Without Qt's translations the window opens all the same, its dialogs in English. A qt.conf
# beside the program moves Qt's translations folder to an empty one.
printf '[Paths]\nPlugins=%s\nTranslations=%s\n' "$(qtpaths6 --query QT_INSTALL_PLUGINS)" \
    "$root/no-translations" >"$bin/qt.conf"
check "telmira starts without Qt's translations" starts "$bin/telmira"
rm "$bin/qt.conf"

entry=$share/applications/telmira.desktop
mime=$share/mime/packages/telmira.xml
check "desktop entry is valid" desktop-file-validate "$entry"
check "desktop entry's program and icon are in the package" bash -c \
    'grep -qx "Exec=telmira %f" "$1" && grep -qx "Icon=telmira" "$1" &&
     test -x "$2/usr/bin/telmira" && test -s "$2/usr/share/icons/hicolor/48x48/apps/telmira.png" &&
     test -s "$2/usr/share/icons/hicolor/scalable/apps/telmira.svg"' _ "$entry" "$root"
check "MIME file is well-formed XML" xmllint --noout "$mime"
type=$(xmllint --xpath 'string(//*[local-name()="mime-type"]/@type)' "$mime")
check "desktop entry opens $type" grep -qx "MimeType=$type;" "$entry"
# The MIME database the desktop reads, built from the package's file alone.
check "MIME database maps *.dcc to $type" bash -c \
    'mkdir -p "$2/mime/packages" && cp "$1" "$2/mime/packages/" &&
     update-mime-database "$2/mime" && grep -qx "50:$3:\*\.dcc" "$2/mime/globs2"' \
    _ "$mime" "$root" "$type"
check "manual pages of the tools" bash -c \
    'for tool in telmira-dcc telmira-sim; do
         zcat "$1/man/man1/$tool.1.gz" | grep -q "^\.SH OPTIONS" || exit 1
     done' _ "$share"
check "manual page of telmira, in Russian as its help" bash -c \
    'zcat "$1/man/man1/telmira.1.gz" |
         grep -qxF "telmira \- запись и просмотр телеметрии контроллера зажигания" &&
     zcat "$1/man/man1/telmira.1.gz" | grep -qx "^\.SH ОПИСАНИЕ"' _ "$share"
for tool in telmira telmira-dcc telmira-sim; do
    check "manual page of $tool: its synopsis holds the usage of --help" synopsis_whole "$tool"
done
# The licence as LICENSE has it, in the form of Debian's machine-readable copyright files.
check "copyright file: the holder and the licence of LICENSE" bash -c \
    'grep -qx "License: Expat" "$1" &&
     grep -qxF "Copyright: $(sed -n "s/^Copyright (c) //p" LICENSE)" "$1" &&
     diff <(sed -e "1,/^License: Expat$/d" -e "s/^ //" -e "s/^\.$//" "$1") \
          <(sed -n "/^Permission is hereby granted/,\$p" LICENSE)' _ "$share/doc/telmira/copyright"

echo "package: $passed passed, 0 failed"
