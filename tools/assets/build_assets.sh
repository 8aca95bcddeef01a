#!/bin/sh
# Regenerates assets/Assets.bundle (and assets/contact_sheet.png) from the
# sources: tools/assets/*.py and assets/src/.
#   tools/assets/build_assets.sh          rebuild in place
#   tools/assets/build_assets.sh --check  rebuild into a temporary folder and
#                                         compare byte for byte with the tree
# Needs: python3 (standard library only), rsvg-convert (librsvg2-bin),
# fonts-dejavu-core (the bundled font; the contact sheet's labels).
set -eu
export PYTHONDONTWRITEBYTECODE=1

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
TOOLS="$ROOT/tools/assets"
PY=python3
[ -x /usr/bin/python3 ] && PY=/usr/bin/python3
FONT_SRC=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

build() {
    out="$1"            # the assets folder to fill (holds art/, Assets.bundle/)
    bundle="$out/Assets.bundle"
    rm -rf "$out/art" "$bundle.tmp"
    mkdir -p "$out/art" "$bundle.tmp/sound"
    "$PY" "$TOOLS/make_art.py" "$out/art"
    # render every SVG to its PNG, in parallel
    (cd "$out/art" && find . -name '*.svg' | sed 's|^\./||' | sort) > "$out/art/list.txt"
    while read -r f; do mkdir -p "$bundle.tmp/$(dirname "$f")"; done < "$out/art/list.txt"
    xargs -P 8 -I{} sh -c 'rsvg-convert "$1/art/$2" -o "$3/${2%.svg}.png"' _ "$out" {} "$bundle.tmp" \
        < "$out/art/list.txt"
    sed "s|^|$bundle.tmp/|; s|\.svg\$|.png|" "$out/art/list.txt" | xargs "$PY" "$TOOLS/png_rgba.py"
    rm "$out/art/list.txt"
    "$PY" "$TOOLS/make_sounds.py" "$bundle.tmp/sound"
    "$PY" "$TOOLS/make_tables.py" "$bundle.tmp"
    cp "$ROOT/assets/src/copyright.txt" "$bundle.tmp/copyright.txt"
    if [ -f "$FONT_SRC" ]; then
        cp "$FONT_SRC" "$bundle.tmp/GenShinGothic-Medium.ttf"
    else
        echo "warning: $FONT_SRC missing, keeping the committed font" >&2
        cp "$ROOT/assets/Assets.bundle/GenShinGothic-Medium.ttf" "$bundle.tmp/"
    fi
    rm -rf "$bundle"
    mv "$bundle.tmp" "$bundle"
    "$PY" "$TOOLS/make_sheet.py" "$out"
    rsvg-convert "$out/contact_sheet.svg" -o "$out/contact_sheet.png"
}

if [ "${1:-}" = "--check" ]; then
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    mkdir -p "$tmp/assets/Assets.bundle"
    cp "$ROOT/assets/Assets.bundle/GenShinGothic-Medium.ttf" "$tmp/assets/Assets.bundle/" 2>/dev/null || true
    build "$tmp/assets"
    diff -r "$ROOT/assets/Assets.bundle" "$tmp/assets/Assets.bundle"
    diff -r "$ROOT/assets/art" "$tmp/assets/art"
    cmp "$ROOT/assets/contact_sheet.png" "$tmp/assets/contact_sheet.png"
    echo "assets are up to date"
else
    build "$ROOT/assets"
fi
