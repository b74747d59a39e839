#!/bin/sh
# Reads the man page as configured into the build tree the way a user does
# (man -l) and checks that
#   - it renders without a warning, and no @PLACEHOLDER@ is left;
#   - every hanging tag names an option: a stray .TP before a plain paragraph
#     turns the paragraph's first line into a tag and indents the rest;
#   - its EXIT STATUS section says word for word what the "Exit status"
#     section of docs/using.md says (the man page repeats it; Windows users
#     have only docs/using.md).
# usage: check-man-page.sh PAGE USING-MD
set -eu
page=$1
using=$2
if ! command -v man >/dev/null 2>&1; then
    echo "check-man-page: man not found (Debian package man-db, scripts/install-deps.sh rig)" >&2
    exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
status=0
fail() {
    echo "check-man-page: $*" >&2
    status=1
}
# render WIDTH: the page as man shows it in a terminal that wide.
render() {
    LC_ALL=C.UTF-8 MANWIDTH=$1 MANOPT= man --warnings -E UTF-8 -l "$page" 2>"$out/warnings"
    if [ -s "$out/warnings" ]; then
        cat "$out/warnings" >&2
        fail "man warns about $page at width $1"
    fi
}

if grep -n '@[A-Za-z_]*@' "$page" >&2; then
    fail "placeholders left in $page"
fi

render 80 >"$out/page"
# A tag stands at the section's indent (7) with its text on the next line,
# indented further (14).
awk '/^       [^ ]/ { tag = $0; line = NR; next }
     /^              [^ ]/ && tag != "" && tag !~ /^       -/ {
         print "line " line " of the rendered page is a hanging tag: " tag
     }
     { tag = "" }' "$out/page" >"$out/tags"
if [ -s "$out/tags" ]; then
    cat "$out/tags" >&2
    fail "a paragraph renders as a hanging tag (a stray .TP?)"
fi

# Wide enough that each paragraph is one line, so nothing is hyphenated.
render 2000 >"$out/wide"
awk '/^[^ ]/ { inside = ($0 == "EXIT STATUS"); next }
     inside && NF { $1 = $1; print }' "$out/wide" >"$out/man-exit"
# The Markdown list, one item per line, without its marks.
awk '/^## / { inside = ($0 == "## Exit status"); next }
     !inside { next }
     /^- / { if (item != "") print item; item = substr($0, 3); next }
     /^  / && item != "" { item = item " " $0; next }
     { if (item != "") print item; item = "" }
     END { if (item != "") print item }' "$using" |
    sed 's/`//g' | awk '{ $1 = $1; print }' >"$out/using-exit"
if [ ! -s "$out/man-exit" ] || [ ! -s "$out/using-exit" ]; then
    fail "no exit statuses found in $page or in $using"
elif ! diff -u "$out/using-exit" "$out/man-exit" >&2; then
    fail "the exit statuses of $page differ from those of $using"
fi

[ "$status" = 0 ] && echo "check-man-page: $page reads cleanly, exit statuses as in $using"
exit $status
