#!/bin/sh
# Adds Vellumet to this user's application menu, pointing at the folder this script
# lies in, and says what the program still lacks on this machine. The folder brings Qt
# and everything else it needs, but for what belongs to the desktop itself.
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

# The folder brings its own libraries (the network module's too: it is loaded on the
# first Save); what it takes from the system is what a desktop
# has: X11 or Wayland, fontconfig, OpenGL, the C and C++ runtimes. Qt loads its display
# plugins by name, so the loader is asked about them too; they find Qt in lib/ as the
# program does.
command -v ldd >/dev/null 2>&1 || exit 0
unresolved() {
    LD_LIBRARY_PATH="$DIR/lib" ldd "$@" 2>/dev/null |
        sed -n 's/^[[:space:]]*\([^[:space:]]*\) => not found.*/\1/p' | sort -u | tr '\n' ' ' | sed 's/ $//'
}
core=$(unresolved "$PROGRAM" "$DIR/lib/libvellumet_network.so")
x11=$(unresolved "$DIR/plugins/platforms/libqxcb.so")
wayland=$(unresolved "$DIR/plugins/platforms/libqwayland-generic.so")
too_old=$(LD_LIBRARY_PATH="$DIR/lib" ldd "$PROGRAM" 2>&1 | grep -c "version .* not found" || true)

say_missing() {
    echo "Vellumet cannot start here yet: $1"
}
if [ "$too_old" -gt 0 ]; then
    say_missing "this system's C and C++ libraries are older than it needs (glibc 2.35 and the libstdc++ of GCC 12, as Ubuntu 22.04, Debian 12 and Fedora 36 have them, and later ones)."
fi
fonts=""
gl=""
other=""
for lib in $core; do
    case "$lib" in
    libfontconfig* | libfreetype*) fonts="$fonts $lib" ;;
    libGL* | libEGL* | libOpenGL*) gl="$gl $lib" ;;
    *) other="$other $lib" ;;
    esac
done
[ -z "$fonts" ] || say_missing "the fonts set-up (fontconfig) is missing:$fonts."
[ -z "$gl" ] || say_missing "OpenGL, which comes with the graphics driver, is missing:$gl."
[ -z "$other" ] || say_missing "these libraries are missing:$other."
if [ -n "$x11" ] && [ -n "$wayland" ]; then
    say_missing "it finds neither X11 (missing: $x11) nor Wayland (missing: $wayland); it needs a graphical desktop."
fi
