#!/bin/sh
# Builds the Debian package from a build tree and checks it: its contents and control fields, the
# desktop entry and metainfo validators, then the program unpacked with its folder read-only,
# started through a link by a user with a fresh home under a virtual X server. The start window
# must show, and the run's log must lie in that home's XDG state folder.
# Usage: package_test.sh <build folder>
set -eu
BUILD=$(cd "$1" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-package.XXXXXX")
cleanup() {
    chmod -R u+w "$WORK" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
APP_ID=org.quorvel.Quorvel

echo "== cpack"
(cd "$BUILD" && cpack -G DEB -B "$WORK/out") >"$WORK/cpack.log" 2>&1 ||
    { cat "$WORK/cpack.log"; fail "cpack failed"; }
set -- "$WORK"/out/quorvel_*_"$(dpkg --print-architecture)".deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "no single package in $WORK/out: $*"
DEB=$1
dpkg-deb -c "$DEB"

echo "== control"
[ "$(dpkg-deb -f "$DEB" Package)" = quorvel ] || fail "package name"
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
echo "Depends: $DEPENDS"
# Found by shlibdeps, and the run-time plugins and fonts it cannot see.
for dep in libc6 libqt6widgets6 libvlc5 libturbojpeg0 libopencv-imgproc406 \
    qt6-qpa-plugins qt6-translations-l10n vlc-plugin-base vlc-plugin-video-output fonts-noto-cjk; do
    echo "$DEPENDS" | grep -Eq "(^|, )$dep( |,|$)" || fail "Depends lacks $dep"
done
dpkg-deb -I "$DEB" postinst >/dev/null || fail "no postinst"

echo "== contents"
ROOT=$WORK/root
dpkg-deb -x "$DEB" "$ROOT"
(cd "$ROOT" && find . ! -type d | LC_ALL=C sort) >"$WORK/files"
LC_ALL=C sort >"$WORK/expected" <<LIST
./opt/quorvel/Language/English.ini
./opt/quorvel/Language/日本語.ini
./opt/quorvel/Language/简体中文.ini
./opt/quorvel/quorvel
./usr/bin/quorvel
./usr/lib/udev/rules.d/70-quorvel.rules
./usr/share/applications/$APP_ID.desktop
./usr/share/icons/hicolor/256x256/apps/$APP_ID.png
./usr/share/metainfo/$APP_ID.metainfo.xml
LIST
diff -u "$WORK/expected" "$WORK/files" || fail "unexpected package contents"
[ "$(readlink "$ROOT/usr/bin/quorvel")" = /opt/quorvel/quorvel ] || fail "/usr/bin/quorvel link"
[ -x "$ROOT/opt/quorvel/quorvel" ] || fail "program not executable"
file -b "$ROOT/opt/quorvel/quorvel" | grep -q "^ELF.*, stripped" || fail "program not a stripped ELF"
file -b "$ROOT/usr/share/icons/hicolor/256x256/apps/$APP_ID.png" | grep -q "PNG image data, 256 x 256" ||
    fail "icon size does not match its folder"
grep -Eq '^SUBSYSTEM=="video4linux", ATTRS\{idVendor\}=="534d", ATTRS\{idProduct\}=="0021", TAG\+="uaccess"$' \
    "$ROOT/usr/lib/udev/rules.d/70-quorvel.rules" || fail "udev rule"

echo "== validators"
desktop-file-validate "$ROOT/usr/share/applications/$APP_ID.desktop" || fail "desktop entry"
grep -q '^Exec=quorvel$' "$ROOT/usr/share/applications/$APP_ID.desktop" || fail "Exec line"
appstreamcli validate --no-net "$ROOT/usr/share/metainfo/$APP_ID.metainfo.xml" || fail "metainfo"
grep -q '<screenshot type="default">' "$ROOT/usr/share/metainfo/$APP_ID.metainfo.xml" ||
    fail "no screenshot in the metainfo"

echo "== start the unpacked copy"
chmod -R a-w "$ROOT/opt/quorvel"
HOME_DIR=$WORK/home
mkdir -p "$HOME_DIR" "$WORK/bin"
ln -s "$ROOT/opt/quorvel/quorvel" "$WORK/bin/quorvel"
chmod 755 "$WORK"
RUNAS=
if [ "$(id -u)" -eq 0 ]; then
    # Root writes into read-only folders: run as nobody, whom the mode bits do stop.
    chown 65534:65534 "$HOME_DIR"
    RUNAS="setpriv --reuid=65534 --regid=65534 --clear-groups"
fi
# A clean environment: no XDG_* variables, so the defaults below HOME apply.
$RUNAS env -i PATH=/usr/bin:/bin HOME="$HOME_DIR" LANG=C.UTF-8 TMPDIR=/tmp \
    xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
        "$1" >"$HOME/quorvel.out" 2>&1 &
        pid=$!
        i=0
        until xwininfo -name TAVERIN 2>/dev/null | grep -q IsViewable; do
            if ! kill -0 $pid 2>/dev/null; then
                echo "quorvel ended before its start window showed"; cat "$HOME/quorvel.out"; exit 1
            fi
            i=$((i + 1))
            if [ $i -gt 300 ]; then
                echo "no start window within 30 s"; kill $pid; cat "$HOME/quorvel.out"; exit 1
            fi
            sleep 0.1
        done
        echo "start window shown"
        kill $pid
        wait $pid || true' sh "$WORK/bin/quorvel" || fail "the unpacked program did not start"

echo "== the run log"
LOG_DIR=$HOME_DIR/.local/state/quorvel/Log
ls "$LOG_DIR"
set -- "$LOG_DIR"/*.txt
[ $# -eq 1 ] && [ -f "$1" ] || fail "no single log file in $LOG_DIR"
echo "$(basename "$1")" | grep -Eq '^[0-9]{8}_[0-9]{6}\.txt$' || fail "log name $1"
cat "$1"
grep -qF "$ROOT/opt/quorvel is not writable (Permission denied): log $LOG_DIR, video $HOME_DIR/Videos/Quorvel, settings $HOME_DIR/.config/quorvel" "$1" ||
    fail "the log does not name the folders chosen"
[ -d "$HOME_DIR/Videos" ] || fail "videos folder not made"
[ ! -e "$ROOT/opt/quorvel/Log" ] && [ ! -e "$ROOT/opt/quorvel/Video" ] || fail "wrote beside the program"
echo "package test passed"
