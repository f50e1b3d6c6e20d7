#!/bin/sh
# Adds Vellumet to this user's application menu, pointing at the folder this script
# lies in, and names the Debian packages the program still lacks on this machine.
#   install-menu-entry.sh           add (or refresh) the menu entry
#   install-menu-entry.sh --remove  take it out of the menu again
set -eu

DIR=$(cd "$(dirname "$0")" && pwd -P)
PROGRAM="$DIR/vellumet"
APPS="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
ENTRY="$APPS/vellumet.desktop"

if [ "${1:-}" = "--remove" ]; then
    rm -f "$ENTRY"
    echo "Removed $ENTRY."
    exit 0
fi

if [ ! -x "$PROGRAM" ]; then
    echo "install-menu-entry.sh: there is no program $PROGRAM; run this script from the unpacked Vellumet folder." >&2
    exit 1
fi
case "$DIR" in
*'
'*)
    echo "install-menu-entry.sh: a menu entry cannot point at a folder whose name holds a line break; move the folder." >&2
    exit 1
    ;;
esac

# Strings in a desktop entry take backslash escapes, so a backslash is written twice.
desktop_string() {
    printf '%s' "$1" | sed 's/\\/\\\\/g'
}

# Exec is a command line of its own: the path is quoted, the characters that are
# special inside the quotes get a backslash, "%" is doubled, and then the value is
# escaped as any other string.
desktop_exec() {
    quoted=$(printf '%s' "$1" | sed -e 's/[\\"`$]/\\&/g' -e 's/%/%%/g')
    desktop_string "\"$quoted\""
}

# The menu shows what the window's caption shows: the site's title.
site_title() {
    [ -f "$DIR/vellumet.ini" ] || return 0
    # The file is Windows-1252 with CR LF line ends; a desktop entry is UTF-8.
    { iconv -f WINDOWS-1252 -t UTF-8 "$DIR/vellumet.ini" 2>/dev/null || cat "$DIR/vellumet.ini"; } |
        tr '\r' '\n' |
        sed -n 's/^ *[Tt][Ii][Tt][Ll][Ee] *=\(.*\)$/\1/p' | tail -n 1 |
        sed -e 's/^ *//' -e 's/ *$//'
}

# Replaces every @KEY@ in the template by the value in the environment variable KEY,
# taken literally (sed and awk's gsub would both read "&" and "\" in it).
fill_template() {
    awk '
        function fill(line, key,    value, out, at) {
            value = ENVIRON[key]
            out = ""
            while ((at = index(line, "@" key "@")) > 0) {
                out = out substr(line, 1, at - 1) value
                line = substr(line, at + length(key) + 2)
            }
            return out line
        }
        /^Icon=/ && ENVIRON["ICON"] == "" { next }
        {
            $0 = fill($0, "NAME"); $0 = fill($0, "EXEC"); $0 = fill($0, "TRYEXEC")
            $0 = fill($0, "DIR"); $0 = fill($0, "ICON")
            print
        }
    ' "$DIR/vellumet.desktop.in"
}

title=$(site_title)
if [ -n "$title" ]; then
    NAME=$(desktop_string "Vellumet - $title")
else
    NAME=Vellumet
fi
EXEC=$(desktop_exec "$PROGRAM")
TRYEXEC=$(desktop_string "$PROGRAM")
DIR_VALUE=$(desktop_string "$DIR")
ICON=""
if [ -f "$DIR/vellumet.png" ]; then
    ICON=$(desktop_string "$DIR/vellumet.png")
fi

mkdir -p "$APPS"
NAME="$NAME" EXEC="$EXEC" TRYEXEC="$TRYEXEC" DIR="$DIR_VALUE" ICON="$ICON" \
    fill_template >"$ENTRY.tmp"
mv "$ENTRY.tmp" "$ENTRY"
if command -v update-desktop-database >/dev/null 2>&1; then
    update-desktop-database -q "$APPS" 2>/dev/null || true
fi
echo "Added \"${title:+Vellumet - }${title:-Vellumet}\" to the application menu ($ENTRY)."
if [ ! -f "$DIR/vellumet.ini" ]; then
    echo "Put the site's vellumet.ini into $DIR before the first start."
fi

# What the program needs at run time: the libraries it and its network module (loaded
# on the first Save) are linked with, and Qt's platform plugins, which Qt loads by name
# and which therefore no linker check sees.
missing=""
unknown=""
for lib in $(ldd "$PROGRAM" "$DIR/libvellumet_network.so" 2>/dev/null |
    sed -n 's/^[[:space:]]*\([^[:space:]]*\) => not found.*/\1/p' | sort -u); do
    case "$lib" in
    libQt6Core.so*) missing="$missing libqt6core6" ;;
    libQt6Gui.so*) missing="$missing libqt6gui6" ;;
    libQt6Widgets.so*) missing="$missing libqt6widgets6" ;;
    libcurl.so*) missing="$missing libcurl4" ;;
    *) unknown="$unknown $lib" ;;
    esac
done
if command -v dpkg-query >/dev/null 2>&1 &&
    ! dpkg-query -W -f='${Status}\n' qt6-qpa-plugins 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing qt6-qpa-plugins"
fi
if [ -n "$missing" ]; then
    echo "Vellumet cannot start yet: it needs these packages, missing here:$missing"
    echo "Install them with:  sudo apt-get install$missing"
fi
if [ -n "$unknown" ]; then
    echo "Vellumet cannot start yet: these libraries are missing here:$unknown"
fi
