#!/usr/bin/env bash
# The program as a desktop user gets it.
#   packaging_test.sh validate SOURCE_DIR
#     the desktop entry and the AppStream metainfo pass their validators.
#   packaging_test.sh package BUILD_DIR PROBE_LIBRARY
#     CPack makes the Debian package of this build; its dependencies were computed,
#     it holds the files a desktop looks for, and the binary unpacked from it with
#     dpkg -x starts under the offscreen platform: the probe library, preloaded,
#     reports the shown window and closes it, and the program ends with status 0.
set -euo pipefail

fail() {
  echo "FAIL: $*"
  exit 1
}

need() {
  for tool in "$@"; do command -v "$tool" >/dev/null || fail "$tool is not installed"; done
}

validate() {
  local desktop=$1 metainfo=$2
  desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $metainfo"
}

case ${1:-} in
validate)
  need desktop-file-validate appstreamcli
  src=${2:?source dir}
  validate "$src/app/velmora.desktop" "$src/app/org.velmora.Velmora.metainfo.xml"
  echo "1 passed, 0 failed"
  ;;

package)
  need cpack dpkg-deb dpkg-shlibdeps identify desktop-file-validate appstreamcli timeout
  build=${2:?build dir}
  probe=${3:?probe library}
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT

  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
  debs=("$work"/out/velmora_*.deb)
  [ -f "${debs[0]}" ] || fail "no .deb in $work/out"
  deb=${debs[0]}

  # Computed from the binary by dpkg-shlibdeps, besides the one named by hand.
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  for package in libqt6widgets6 libcurl4 libpcre2-16-0 libicu libc6 libqt6svg6; do
    [[ $depends == *"$package"* ]] || fail "Depends lacks $package"
  done

  root=$work/root
  dpkg -x "$deb" "$root"
  for file in usr/bin/velmora usr/share/applications/velmora.desktop \
    usr/share/icons/hicolor/scalable/apps/velmora.svg \
    usr/share/icons/hicolor/48x48/apps/velmora.png \
    usr/share/icons/hicolor/256x256/apps/velmora.png \
    usr/share/metainfo/org.velmora.Velmora.metainfo.xml; do
    [ -f "$root/$file" ] || fail "the package lacks /$file"
  done
  [ -x "$root/usr/bin/velmora" ] || fail "/usr/bin/velmora is not executable"
  for size in 48 256; do
    got=$(identify -format '%m %wx%h' "$root/usr/share/icons/hicolor/${size}x$size/apps/velmora.png")
    [ "$got" = "PNG ${size}x$size" ] || fail "the ${size} px icon is $got"
  done
  # The installed tree as a software centre reads it: the metainfo's launchable is
  # there, and the entry starts the installed binary with the installed icon.
  desktop=$root/usr/share/applications/velmora.desktop
  desktop-file-validate "$desktop" || fail "desktop-file-validate of the installed entry"
  appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree"
  grep -qx 'Exec=velmora' "$desktop" || fail "the entry does not start velmora"
  grep -qx 'Icon=velmora' "$desktop" || fail "the entry does not name the velmora icon"

  # The installed program's start-up. A program that never shows its window is
  # stopped after a minute, which fails the test.
  status=0
  QT_QPA_PLATFORM=offscreen LD_PRELOAD="$probe" timeout 60 "$root/usr/bin/velmora" \
    >"$work/report" 2>"$work/stderr" || status=$?
  cat "$work/report"
  [ "$status" -eq 0 ] || { cat "$work/stderr"; fail "the program ended with status $status"; }
  expect() {
    grep -qxF "$1" "$work/report" || fail "the report lacks \"$1\""
  }
  expect "title: Velmora"
  expect "size: 610x279"
  expect "window-icon: drawn"
  expect "application-icon: drawn"
  expect "desktop-file: velmora"
  expect "font-has-chinese: yes"
  expect "button: 刷新"
  grep -q '^button-drawn-by: ' "$work/report" || fail "no report of the button's glyphs"
  ! grep -q '^button-drawn-by: .*missing' "$work/report" || fail "the button's Chinese has no glyphs"
  echo "1 passed, 0 failed"
  ;;

*)
  echo "usage: packaging_test.sh validate SOURCE_DIR | package BUILD_DIR PROBE_LIBRARY"
  exit 2
  ;;
esac
